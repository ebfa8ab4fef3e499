// Fuzz harness of the replacement files: the input holds up to three parts
// separated by "%%" lines: the parameter list, the values file and lines
// that are then read through the replacement line filter (as every input
// line of a run with replacement values is) and substituted once more in a
// buffer of the line size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/text.h"
#include "fuzz_support.h"
#include "input/replace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string params = pluvo_fuzz::write_input("params.txt", parts[0]);
    const std::string values =
        pluvo_fuzz::write_input("values.txt", parts.size() > 1 ? parts[1] : std::string());
    const std::string lines =
        pluvo_fuzz::write_input("lines.txt", parts.size() > 2 ? parts[2] : std::string());
    read_replace_params(params.c_str());
    read_replace_vals(values.c_str());
    {
        file_object f;
        if (open_file_named(f, lines.c_str(), "r")) {
            text_line line;
            while (read_line(line, f)) {
                // A copy with room to grow, substituted again directly.
                const size_t length = std::strlen(line.c_str());
                std::vector<char> again(length + static_cast<size_t>(kReplaceLineSize), '\0');
                std::memcpy(again.data(), line.c_str(), length + 1);
                replace_pairs_in_line(again.data(), static_cast<int>(again.size()));
            }
        }
        close_file_object(f);
    }
    file_object none;
    print_replace_values(none);
    print_replace_usage(none);
    pluvo_fuzz::finish_input();
    return 0;
}
