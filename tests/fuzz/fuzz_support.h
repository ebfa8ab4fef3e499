// Shared pieces of the reader fuzz harnesses: a private working folder, the
// fuzz input written to a file there, the program-wide state that readers
// leave behind reset between inputs, and the split of one input into the
// several files some readers need.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/run_state.h"

namespace pluvo_fuzz {

// Largest input handed to a reader, bytes; longer inputs are skipped.
constexpr size_t kMaxInput = 64 * 1024;

// Once per process: makes a private folder under /dev/shm (or /tmp) for the
// input files (also the project folder, so that names in an input resolve
// there) and sends standard output to /dev/null (unless PLUVO_FUZZ_VERBOSE is
// set, for reproducing a crash).
void init_once();

// Absolute name of `name` inside the private folder.
std::string path_of(const std::string& name);

// Writes `size` bytes as the file `name` of the private folder; returns its path.
std::string write_input(const std::string& name, const uint8_t* data, size_t size);
std::string write_input(const std::string& name, const std::string& text);

// Clears what readers leave outside the run state: error record, folders,
// replacement values and their line filter, series lists, quiet flags,
// thread count; makes the private folder the working folder (a reader that
// makes an output folder changes it), so that names in an input stay there.
void reset_program_state();

// Start of an input: false for an input to skip (longer than kMaxInput, or
// naming files outside the private folder when `local_names`); otherwise the
// private folder is made (once) and the program state reset.
bool begin_input(const uint8_t* data, size_t size, bool local_names = false);

// Writes `text` as the file `name` and reads it as a time-series and as an
// elevation-series file (for the inputs that name series); clears the error
// record afterwards.
void read_series_part(const std::string& name, const std::string& text);

// After an input: resets as above and goes back to the working folder of the
// start, where libFuzzer's relative paths lie.
void finish_input();

// A run state made fresh for an input and destroyed on scope exit (in
// storage kept from one input to the next).
struct run_state_holder {
    run_state* rs;
    run_state_holder();
    ~run_state_holder();
    run_state_holder(const run_state_holder&) = delete;
    run_state_holder& operator=(const run_state_holder&) = delete;
    run_state& operator*() { return *rs; }
    run_state* operator->() { return rs; }
};

// Splits an input into parts at every line that is exactly "%%" (the
// separator line and its newline are dropped); always at least one part.
std::vector<std::string> split_parts(const uint8_t* data, size_t size);

// False for inputs that hold '/' or "..": readers open the files that an
// input names, and a fuzzer must not reach outside the private folder.
bool names_stay_local(const uint8_t* data, size_t size);

// A valid channel file of three links on a grid of 3 x 4 cells of 10 m:
// trapezoid links 1 and 2 join into break-point link 3 (a V-shaped section).
extern const char kThreeLinkNetwork[];

// A fully active grid of rows x cols cells of `cell` m (mask numbered row by
// row, ground `ground` m); replaces an earlier mask.
void set_full_grid(run_state& rs, int rows, int cols, double cell, double ground);

// A soil table of the run's 10,000 entries, every entry cleared: made once
// and kept between inputs (a run state makes its own at a reader's first
// write, 4.3 MB of fresh pages per input).
soil_layer_record* cleared_soil_table();

// The 3 x 4 grid of 10 m cells (ground 100 m) whose mask 0110 / 1111 / 0111
// holds nine cells numbered row by row, with a channel network of two links
// of 3 and 2 nodes.
void set_nine_cell_grid(run_state& rs);

// The centre coordinates of every cell of a grid set by set_full_grid (m;
// north edge at 1000 m, west edge at 0).
void set_cell_centres(run_state& rs);

}  // namespace pluvo_fuzz
