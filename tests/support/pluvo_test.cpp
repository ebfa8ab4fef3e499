#include "pluvo_test.h"
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pluvo_test {

temp_dir::temp_dir() {
    char tmpl[] = "/tmp/pluvo_test_XXXXXX";
    char* made = mkdtemp(tmpl);
    if (made == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = made;
}

temp_dir::~temp_dir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

run_result run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::string& cwd, const std::string& stdin_text,
                       const std::vector<std::string>& env) {
    run_result result;
    // Output goes to files so that large outputs cannot block the child.
    temp_dir io;
    std::string in_path = io.file("stdin"), out_path = io.file("stdout"),
                err_path = io.file("stderr");
    write_file(in_path, stdin_text);
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        // Test runs share the machine with other tests: idle threads sleep
        // instead of spinning, which keeps parallel runs fast under load.
        setenv("OMP_WAIT_POLICY", "PASSIVE", 0);
        for (const std::string& e : env) {
            auto eq = e.find('=');
            std::string name = e.substr(0, eq);
            std::string value = eq == std::string::npos ? "" : e.substr(eq + 1);
            if (eq == std::string::npos || value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(125);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    return result;
}

void keep_case(const std::string& cwd, const std::string& project) {
    const char* keep = std::getenv("PLUVO_KEEP_CASES");
    if (keep == nullptr || *keep == '\0' || project.empty()) return;
    static int kept = 0;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::to_string(getpid()) + "_" + std::to_string(++kept);
    if (test != nullptr) name += std::string("_") + test->test_suite_name() + "." + test->name();
    for (char& c : name)
        if (c == '/') c = '_';
    const fs::path dest = fs::path(keep) / name;
    std::error_code ec;
    fs::create_directories(dest, ec);
    fs::copy(cwd, dest, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    write_file((dest / "PROJECT").string(), project + "\n");
}

run_result run_pluvo(const std::vector<std::string>& args, const std::string& cwd,
                     const std::string& stdin_text, const std::vector<std::string>& env) {
    // A whole run of a project given by its file name in the folder.
    if (args.size() == 1 && args[0].find('/') == std::string::npos &&
        fs::is_regular_file(fs::path(cwd) / args[0]))
        keep_case(cwd, args[0]);
    return run_program(PLUVO_EXE, args, cwd, stdin_text, env);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool file_exists(const std::string& path) {
    return fs::exists(path);
}

void copy_case(const std::string& case_name, const std::string& dest) {
    fs::copy(std::string(PLUVO_CASES) + "/" + case_name, dest,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream ss(text);
    std::string line;
    while (std::getline(ss, line)) lines.push_back(line);
    return lines;
}

int count_of(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t pos = text.find(needle); pos != std::string::npos;
         pos = text.find(needle, pos + needle.size()))
        ++n;
    return n;
}

std::vector<double> numbers_after_last(const std::string& text, const std::string& label, int count) {
    std::vector<double> v;
    const size_t at = text.rfind(label);
    if (at == std::string::npos) return v;
    const char* p = text.c_str() + at + label.size();
    for (int k = 0; k < count; ++k) {
        while (*p && !(std::isdigit(static_cast<unsigned char>(*p)) || *p == '-' || *p == '+')) ++p;
        char* end = nullptr;
        const double x = std::strtod(p, &end);
        if (end == p) break;
        v.push_back(x);
        p = end;
    }
    return v;
}

double number_in_summary(const std::string& text, const std::string& label) {
    const size_t p = text.find(label);
    if (p == std::string::npos) return std::nan("");
    double v = std::nan("");
    if (std::sscanf(text.c_str() + p + label.size(), "%lf", &v) != 1) return std::nan("");
    return v;
}

}  // namespace pluvo_test
