#include "fuzz_support.h"

#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "core/alloc.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/run_options.h"
#include "core/text.h"
#include "input/elevation_series.h"
#include "input/replace.h"
#include "input/time_series.h"

namespace pluvo_fuzz {

const char kThreeLinkNetwork[] =
    "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES 4\n"
    "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 0 2 1 2\n"
    "LINK 1\nDX 10.0\nNODES 4\nTRAPEZOID\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 104.0\nX_Y 5.0 15.0\nNODE 2\nELEV 103.0\nXSEC\nBOTTOM_WIDTH 2.0\n"
    "SIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.2\nNODE 3\nELEV 102.0\nNODE 4\nELEV 101.0\n"
    "LINK 2\nDX 10.0\nNODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n"
    "NODE 1\nELEV 103.0\nXSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\n"
    "NODE 3\nELEV 101.0\n"
    "LINK 3\nDX 20.0\nNODES 3\nBREAKPOINT\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 101.0\nNPAIRS 3\nNUM_INTERP 2\nX1 0.0 2.0\nX1 1.0 0.0\nX1 2.0 2.0\n"
    "NODE 2\nELEV 100.0\nNODE 3\nELEV 99.0\n";


namespace {
std::string g_folder;        // private folder of the input files, no trailing separator
std::string g_start_folder;  // working folder at start-up, where libFuzzer's relative paths lie
}

void init_once() {
    if (!g_folder.empty()) return;
    // In memory when the machine has a tmpfs at /dev/shm: rewriting a file
    // on a disk file system flushes it at its close, which cost more than
    // reading it.
    char in_memory[] = "/dev/shm/pluvo_fuzz_XXXXXX";
    char on_disk[] = "/tmp/pluvo_fuzz_XXXXXX";
    const char* folder = mkdtemp(in_memory);
    if (folder == nullptr) folder = mkdtemp(on_disk);
    if (folder == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    g_folder = folder;
    char here[4096];
    if (getcwd(here, sizeof(here)) == nullptr) std::abort();
    g_start_folder = here;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_folder, ignored);
    });
    if (std::getenv("PLUVO_FUZZ_VERBOSE") == nullptr) {
        std::fflush(stdout);
        const int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            dup2(null_fd, STDOUT_FILENO);
            close(null_fd);
        }
    }
    reset_program_state();
}

std::string path_of(const std::string& name) { return g_folder + "/" + name; }

std::string write_input(const std::string& name, const uint8_t* data, size_t size) {
    // One write, no stdio buffer: a buffer is a fresh allocation per input.
    const std::string path = path_of(name);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            std::perror(path.c_str());
            std::abort();
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return path;
}

std::string write_input(const std::string& name, const std::string& text) {
    return write_input(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void reset_program_state() {
    if (chdir(g_folder.c_str()) != 0) std::abort();
    error_record = error_info{};
    current_summary_file = nullptr;
    super_quiet_flag = 0;
    std::snprintf(project_folder_path, sizeof(project_folder_path), "%s/", g_folder.c_str());
    output_folder_path[0] = '\0';
    output_folder_set = 0;
    prefix_run_number = 0;
    run_number = 0;
    free_replace_params();
    replace_active = 0;
    replace_count = 0;
    replace_line_index = 0;
    set_line_filter(nullptr);
    free_time_series();
    free_elevation_series();
    run_options = run_options_t{};
    omp_set_num_threads(1);
}

bool begin_input(const uint8_t* data, size_t size, bool local_names) {
    if (size > kMaxInput || (local_names && !names_stay_local(data, size))) return false;
    init_once();
    reset_program_state();
    return true;
}

void read_series_part(const std::string& name, const std::string& text) {
    const std::string path = write_input(name, text);
    read_time_series_file(path.c_str());
    read_elevation_series_file(path.c_str());
    error_record = error_info{};
}

void finish_input() {
    reset_program_state();
    if (chdir(g_start_folder.c_str()) != 0) std::abort();
}

namespace {

// Storage of the run state of every input: made once, so that an input does
// not map fresh pages for its run state (their first touch dominated the
// cost of an input under the sanitizers).
void* run_state_storage() {
    static void* storage = ::operator new(sizeof(run_state), std::align_val_t(alignof(run_state)));
    return storage;
}

}  // namespace

// As create_run_state and destroy_run_state, in the kept storage.
run_state_holder::run_state_holder() : rs(new (run_state_storage()) run_state()) {}
run_state_holder::~run_state_holder() { rs->~run_state(); }

std::vector<std::string> split_parts(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    while (start < size) {
        const void* nl = std::memchr(text + start, '\n', size - start);
        const size_t end = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text) : size;
        const bool separator = end - start == 2 && text[start] == '%' && text[start + 1] == '%';
        if (separator) {
            parts.emplace_back();
        } else {
            parts.back().append(text + start, end - start);
            if (nl) parts.back().push_back('\n');
        }
        start = end + 1;
    }
    return parts;
}

bool names_stay_local(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '/') return false;
        if (data[i] == '.' && i + 1 < size && data[i + 1] == '.') return false;
    }
    return true;
}

void set_full_grid(run_state& rs, int rows, int cols, double cell, double ground) {
    rs.rows = rows;
    rs.cols = cols;
    rs.mask_rows = rows;
    rs.mask_cols = cols;
    rs.cell_size = cell;
    if (rs.mask != nullptr) free_block_2d(rs.mask);
    rs.mask = make_int_2d(rows + 1, cols + 1);
    int k = 0;
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) rs.mask[i][j] = ++k;
    rs.GNUM = k;
    rs.elevation.assign(static_cast<size_t>(k) + 1, ground);
}

soil_layer_record* cleared_soil_table() {
    static soil_table_store table;
    soil_layer_record* records = table.data();
    std::fill(records, records + soil_table_store::kSize, soil_layer_record{});
    return records;
}

void set_nine_cell_grid(run_state& rs) {
    set_full_grid(rs, 3, 4, 10.0, 100.0);
    const char* pattern[] = {"0110", "1111", "0111"};
    rs.GNUM = 0;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 4; ++j) rs.mask[i][j] = pattern[i - 1][j - 1] == '1' ? ++rs.GNUM : 0;
    rs.elevation.assign(static_cast<size_t>(rs.GNUM) + 1, 100.0);
    rs.links = 2;
    rs.maxnodes = 3;
    rs.nx = {0, 3, 2};
}

void set_cell_centres(run_state& rs) {
    rs.cell_x.set_name("cell_x");
    rs.cell_y.set_name("cell_y");
    rs.cell_x.grow(rs.GNUM);
    rs.cell_y.grow(rs.GNUM);
    for (int i = 1; i <= rs.rows; ++i)
        for (int j = 1; j <= rs.cols; ++j) {
            const int k = rs.mask[i][j];
            rs.cell_x[k] = (j - 0.5) * rs.cell_size;
            rs.cell_y[k] = 1000.0 - (i - 0.5) * rs.cell_size;
        }
}

}  // namespace pluvo_fuzz
