#include "constituent_books.h"

#include <cstdlib>

#include "output/constituent_summary.h"
#include "run/run_state.h"

namespace pluvo_test {

std::vector<section_books> constituent_section_books(const run_state& rs) {
    std::vector<section_books> out;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const con_summary_flags f = constituent_summary_flags(rs, i);
        for (int run = 0; run < 2; ++run) {
            const con_span s = run ? constituent_run_span(rs, i) : constituent_event_span(rs, i);
            const std::string at = std::string(run ? "run " : "event ");
            auto add = [&](const char* name, const con_balance& b, double made) {
                out.push_back({at + name + " " + std::to_string(i), b.in, b.in - b.out + made, b.error});
            };
            if (rs.soil_con_trans) add("soil", soil_constituent_balance(s, f, 0.0), 0.0);
            if (f.type == 3) continue;
            add("overland", overland_constituent_balance(s, f, 0.0), s.ov_neg);
            if (rs.chan_con_trans) {
                add("channel", channel_constituent_balance(s, f, 0.0), s.chan_clip);
                if (f.lakes) add("lake", lake_constituent_balance(s, f), 0.0);
            }
            double gone = 0.0;
            add("global", global_constituent_balance(s, f, gone), s.ov_neg + s.chan_clip);
        }
    }
    return out;
}

std::vector<double> balance_error_lines(const std::string& text, size_t from) {
    std::vector<double> v;
    for (size_t at = text.find("balance error", from); at != std::string::npos;
         at = text.find("balance error", at + 1)) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        // The number after the dots (or after the label of a fixed-width line).
        size_t k = line.find_first_of("-0123456789");
        v.push_back(k == std::string::npos ? 0.0 : std::strtod(line.c_str() + k, nullptr));
    }
    return v;
}

}  // namespace pluvo_test
