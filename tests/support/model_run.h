// Runs the model inside the test process so that a test can read the run
// state as the run ends (after its summary is written, before it is freed).
#pragma once
#include <functional>
#include <string>

struct run_state;

namespace pluvo_test {

// Runs project `project` (a file name in folder `cwd`) with `cwd` as the
// current folder, calling `inspect` with the final run state when the run
// ends normally; the previous current folder is restored. Returns false when
// the run failed (the inspection is then not called).
bool run_model_in(const std::string& cwd, const std::string& project,
                  const std::function<void(const run_state&)>& inspect);

// The same, calling `each_step` with the run state after every pass of the
// time loop as well.
bool run_model_in(const std::string& cwd, const std::string& project,
                  const std::function<void(const run_state&)>& inspect,
                  const std::function<void(const run_state&)>& each_step);

// Every constituent's whole-watershed balance as write_constituent_balances
// prints it (one block per constituent led by "Constituent %d (%s) mass
// balance, kg:", one %.12e line per amount), for tests that compare or parse
// the full-precision books of a run read through run_model_in.
std::string constituent_balance_text(const run_state& rs);

}  // namespace pluvo_test
