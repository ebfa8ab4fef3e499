#include "model_run.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/dates.h"
#include "core/parallel.h"
#include "core/file_object.h"
#include "quality/constituent_setup.h"
#include "run/run_model.h"
#include "run/run_state.h"
#include "pluvo_test.h"

namespace pluvo_test {

namespace {

// Idle threads of runs inside a test program wait passively, as in the
// program: the OpenMP runtime reads its wait policy when the process starts,
// so a test program that links these runs starts itself again with the
// policy set (unless the environment already chooses one).
struct passive_waiting {
    passive_waiting() {
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> args;
        for (size_t at = 0; at < all.size();) {
            const size_t end = all.find('\0', at);
            args.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
            if (end == std::string::npos) break;
            at = end + 1;
        }
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        if (argv.size() > 1) wait_passively_by_default(argv.data());
    }
} g_passive_waiting;

const std::function<void(const run_state&)>* g_inspect = nullptr;
const std::function<void(const run_state&)>* g_each_step = nullptr;

void call_inspect(const run_state& rs) {
    if (g_inspect != nullptr && *g_inspect) (*g_inspect)(rs);
}

void call_each_step(const run_state& rs) {
    if (g_each_step != nullptr && *g_each_step) (*g_each_step)(rs);
}

}  // namespace

bool run_model_in(const std::string& cwd, const std::string& project,
                  const std::function<void(const run_state&)>& inspect,
                  const std::function<void(const run_state&)>& each_step) {
    g_each_step = &each_step;
    set_run_step_observer(call_each_step);
    const bool ok = run_model_in(cwd, project, inspect);
    set_run_step_observer(nullptr);
    g_each_step = nullptr;
    return ok;
}

bool run_model_in(const std::string& cwd, const std::string& project,
                  const std::function<void(const run_state&)>& inspect) {
    keep_case(cwd, project);
    char previous[PATH_MAX];
    if (getcwd(previous, sizeof previous) == nullptr) return false;
    if (chdir(cwd.c_str()) != 0) return false;
    // Each run starts from the program's start values of the folders that
    // the project cards set (they are program-wide and kept between the
    // runs of a calibration, which share one project).
    output_folder_set = 0;
    output_folder_path[0] = '\0';
    project_folder_path[0] = '\0';
    g_inspect = &inspect;
    set_run_end_observer(call_inspect);
    // The super_quiet card silences the console program-wide: the tests that
    // follow in this process print as before.
    const unsigned char quiet = super_quiet_flag;
    run_model(project.c_str(), nullptr);
    super_quiet_flag = quiet;
    const bool failed = last_run_failed();
    set_run_end_observer(nullptr);
    g_inspect = nullptr;
    std::fflush(stdout);
    const int back = chdir(previous);
    return !failed && back == 0;
}

std::string constituent_balance_text(const run_state& rs) {
    FILE* t = std::tmpfile();
    if (t == nullptr) return "";
    // The writer prints into the run's summary file object: it is pointed at
    // the temporary file for the call and handed back as it was.
    file_object& f = const_cast<run_state&>(rs).summary_file;
    FILE* const handle = f.handle;
    FILE* const guard = f.guard;
    f.handle = f.guard = t;
    write_constituent_balances(const_cast<run_state&>(rs));
    f.handle = handle;
    f.guard = guard;
    std::string text;
    std::rewind(t);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, t)) > 0;) text.append(buffer, n);
    std::fclose(t);
    return text;
}

}  // namespace pluvo_test
