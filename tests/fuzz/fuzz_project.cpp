// Fuzz harness of the project file: the input is a project file read by the
// run-parameter step of a fresh run state (the card reader, the files its
// cards read at once, and the copy of the card values into the run state).
// Parts after "%%" lines become the files f1, f2, ... beside the project
// file, for the cards that read a file at once (series, replacement values,
// mapping tables, boundary lists) to name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "input/project_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string path = pluvo_fuzz::write_input("project.prj", parts[0]);
    for (size_t k = 1; k < parts.size() && k <= 5; ++k)
        pluvo_fuzz::write_input("f" + std::to_string(k), parts[k]);
    {
        pluvo_fuzz::run_state_holder rs;
        read_run_parameters(path.c_str(), *rs);
    }
    close_file_object(k4_flow_file);
    pause_prompt = 0;
    pluvo_fuzz::finish_input();
    return 0;
}
