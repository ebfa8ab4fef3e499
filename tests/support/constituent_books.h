// Closure of the constituent sections of a run read in-process: each
// section's balance (soil, overland, channel, lake, global) over the last
// event and over the whole run, formed by the summary code from the booked
// totals and the stores, with the mass that raising negative masses to 0
// made (printed as "Negative mass", not a balance term) put back.
#pragma once
#include <string>
#include <vector>

struct run_state;

namespace pluvo_test {

struct section_books {
    std::string what;       // "event overland 1", "run lake 2", ...
    double in = 0.0;        // what came in, kg
    double residual = 0.0;  // in - out + mass made by clipping, kg
    double error = 0.0;     // the section's error line, percent
};

// Every section the summaries print for every constituent (runs without
// static soil concentrations, whose soil error stands for what the held soil
// gave).
std::vector<section_books> constituent_section_books(const run_state& rs);

// Values of the lines holding "balance error" in `text` after `from`, in order.
std::vector<double> balance_error_lines(const std::string& text, size_t from = 0);

}  // namespace pluvo_test
