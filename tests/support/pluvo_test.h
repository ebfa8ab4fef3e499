// Helpers shared by the tests: temporary folders, files, and running the
// real program binary with captured output.
#pragma once
#include <string>
#include <vector>

#include "core/parallel.h"

namespace pluvo_test {

// While it lives, loops over `cells` cells and more run on many threads in
// this process (the thresholds are far higher), so that small test grids take
// the parallel paths.
class parallel_from_cells {
public:
    explicit parallel_from_cells(int cells) : saved_(parallel_cells()) {
        set_parallel_cells(parallel_thresholds{cells, cells});
    }
    ~parallel_from_cells() { set_parallel_cells(saved_); }
    parallel_from_cells(const parallel_from_cells&) = delete;
    parallel_from_cells& operator=(const parallel_from_cells&) = delete;

private:
    parallel_thresholds saved_;
};

// The same for a run of the program: an entry for the `env` of run_pluvo.
inline std::string parallel_from_cells_env(int cells) {
    return "PLUVO_PARALLEL_CELLS=" + std::to_string(cells);
}

// A fresh folder under /tmp, removed with everything in it on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct run_result {
    int status = -1;          // process exit status (-1 when it did not exit normally)
    std::string out;          // standard output
    std::string err;          // standard error
};

// Runs `program` with `args` in folder `cwd`; `stdin_text` is fed to its
// standard input; `env` entries "NAME=value" are added ("NAME=" alone unsets).
run_result run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& cwd, const std::string& stdin_text = "",
                       const std::vector<std::string>& env = {});

// When the environment variable PLUVO_KEEP_CASES names a folder, copies the
// folder `cwd` as it is before a run of `project` (a file name in it) into a
// new folder there, with a file "PROJECT" holding the project's name, so that
// tests/same_outputs.sh can run two builds of the program on every project
// the tests run. Does nothing otherwise.
void keep_case(const std::string& cwd, const std::string& project);

// Runs the pluvo binary under its own name.
run_result run_pluvo(const std::vector<std::string>& args, const std::string& cwd,
                     const std::string& stdin_text = "", const std::vector<std::string>& env = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);
bool file_exists(const std::string& path);
// Copies every file of a fixture folder of tests/cases into `dest`.
void copy_case(const std::string& case_name, const std::string& dest);
// Lines of a text.
std::vector<std::string> split_lines(const std::string& text);
// Number of occurrences of `needle` in `text`.
int count_of(const std::string& text, const std::string& needle);
// The first `count` numbers after the last occurrence of `label` in `text`
// (fewer when the text runs out of numbers; none without the label).
std::vector<double> numbers_after_last(const std::string& text, const std::string& label, int count);

// Number written right after the first `label` in `text` (a summary file),
// NaN when the label is missing or no number follows.
double number_in_summary(const std::string& text, const std::string& label);

}  // namespace pluvo_test
