// Reading and checking the storm-drain network: the superlink file (SJUNC,
// CONNECT, SLINK, NODE and PIPE records), the grid-pipe file of the leaky
// pipes, and the grading of long pipes into computational pipes.
#pragma once
#include <vector>

struct run_state;
struct file_object;

// Largest network the solver takes: junctions, superlinks, pipes in one superlink.
constexpr int kMaxSuperjunctions = 1000;
constexpr int kMaxSuperlinks = 1000;
constexpr int kMaxPipesPerSuperlink = 1000;

// Reads the superlink file `f` (named `path` in messages) into rs.sd_junctions
// and rs.sd_links (nodes and pipes as read) and checks it. False after a
// message naming file and line (code kErrorPrinted) or a limit code (99-101).
bool read_superlink_file(run_state& rs, file_object& f, const char* path);

// Reads the grid-pipe file into rs.sd_pipe_cells; false after a message.
bool read_grid_pipe_file(run_state& rs, file_object& f, const char* path);

// Lengths (m) of the computational pieces of one pipe of length L (m), from
// its upstream end: 10, 20, 50 and 100 m pieces at both ends growing towards
// a middle of 100-m pieces; a pipe of 10-20 m gives two halves, one of 10 m
// or less stays whole.
std::vector<double> graded_pieces(double L);

// Builds the computational nodes and pipes of every superlink: the nodes and
// pipes as read, or with `grade` each pipe cut by graded_pieces, the new
// nodes interpolated along their pipe with no storage, inlet or cell.
void build_computational_pipes(run_state& rs, bool grade);
