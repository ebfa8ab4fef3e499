// Closure of the constituent sections of a run read in-process: each
// section's balance (soil, overland, channel, lake, global) over the last
// event and over the whole run, formed by the summary code from the booked
// totals and the stores, with the mass that raising negative masses to 0
// made (printed as "Negative mass", not a balance term) put back, and with
// static soil concentrations what the held soil gave (what its soil and
// global errors stand for).
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

// Every section the summaries print for every constituent.
std::vector<section_books> constituent_section_books(const run_state& rs);

// One constituent section as a summary prints it: its heading, the sums of
// the printed terms that its balance counts as coming in and going out, and
// the printed error line.
struct printed_section {
    std::string heading;  // the section's heading line
    double in = 0.0;      // printed terms coming in, kg
    double out = 0.0;     // printed terms going out, kg
    int terms = 0;        // number of printed terms summed
    double error = 0.0;   // the printed error, percent
};

// The soil, overland, channel, lake and global sections of the event
// reports and of the run end in a summary's text, in order; the role of each
// printed line (in, out, a signed gain, or no term: attached masses, the
// mass raised from negative, per-lake lines) follows the balance each
// section states.
std::vector<printed_section> printed_constituent_sections(const std::string& summary);

// Checks that `summary` holds at least `least` constituent sections and that
// each one's error line is (in - out) / in x 100 of its printed terms, to the
// printed digits (terms to 0.005 kg, the error to 0.00005 percent).
void expect_sections_match_their_terms(const std::string& summary, size_t least);

}  // namespace pluvo_test
