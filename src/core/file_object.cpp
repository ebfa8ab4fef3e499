// Guarded file object and resolution of file names against the project and
// output folders.
//
// A name given by a card is tried as a list of candidates (see find_file_path);
// every candidate is built with a bounded format into a buffer of kPathSize
// characters. A candidate that does not fit is never tried under a cut name:
// the resolution stops there and the open is refused with the too-long message.
#include "core/file_object.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"

char project_folder_path[1024] = {};
char output_folder_path[1024] = {};
int output_folder_set = 0;
int run_number = 0;
int prefix_run_number = 0;

namespace {

constexpr int kPathSize = 1024;   // size of every name buffer, including the NUL

const char kCorruptMessage[] =
    "\n\n\nError with the file %s. The file pointer is corrupt.\n\n\n\n";
const char kNotClosedMessage[] =
    "\n\nError!!!!!!! opening a file when the previous file was not closed.\n"
    "Original file: %s\nNew file: %s\n\n\n";
const char kTooLongMessage[] = "Error.... name too long!!!\n\n\n";

// Outcome of the name resolution.
enum class resolve_result {
    opened,     // a candidate opened; it is in `out`
    empty,      // the name was empty once its quotes were removed
    not_found,  // no candidate opened; `out` holds the last one tried
    too_long,   // a candidate needed more than kPathSize-1 characters; `out` is empty
    refused,    // the candidate to write is an input of the run (message printed)
};

bool is_write_mode(const char* mode) {
    return mode != nullptr && (mode[0] == 'w' || mode[0] == 'a');
}

const char* text_or_empty(const char* text) { return text ? text : ""; }

// Writes a + b + c into out (kPathSize). False, with out empty, when it does not fit.
bool join_name(char* out, const char* a, const char* b, const char* c) {
    const int n = std::snprintf(out, kPathSize, "%s%s%s", a, b, c);
    if (n < 0 || n >= kPathSize) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// Set when a candidate of the current resolution named a folder.
bool g_folder_candidate = false;

bool is_folder(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 && S_ISDIR(info.st_mode);
}

// Files held by the open input guard scopes (see input_guard_scope).
struct held_file {
    dev_t device;
    ino_t inode;
    bool written;        // opened for writing by the program: never an input
    std::string name;    // resolved name under which it was first opened
};
std::vector<held_file> g_held;
int g_guard_depth = 0;

held_file* find_held(const struct stat& info) {
    for (held_file& h : g_held) {
        if (h.device == info.st_dev && h.inode == info.st_ino) return &h;
    }
    return nullptr;
}

// Set when the guard refused a candidate of the current resolution.
bool g_guard_refused = false;

// False, after the message, when `resolved` is an input of an open scope.
bool guard_allows_write(const char* resolved) {
    if (g_guard_depth == 0) return true;
    struct stat info;
    if (stat(resolved, &info) != 0) return true;   // a new file overwrites nothing
    const held_file* h = find_held(info);
    if (h == nullptr || h->written) return true;
    std::printf("Error: the output file %s would overwrite the input file %s; an output never "
                "overwrites an input\n",
                resolved, h->name.c_str());
    return false;
}

// Holds the file just opened: as an input when read, as the program's own when written.
void guard_hold(FILE* handle, const char* resolved, bool writing) {
    if (g_guard_depth == 0) return;
    struct stat info;
    if (fstat(fileno(handle), &info) != 0) return;
    held_file* h = find_held(info);
    if (h != nullptr) {
        h->written = h->written || writing;
        return;
    }
    g_held.push_back({info.st_dev, info.st_ino, writing, resolved});
}

// Opens the candidate with the caller's mode and closes it at once. A folder
// never counts as a file, whatever the mode (reading one would "open").
bool candidate_opens(const char* name, const char* mode) {
    if (is_folder(name)) {
        g_folder_candidate = true;
        return false;
    }
    // Trying a name for writing empties it: an input is refused before.
    if (is_write_mode(mode) && !guard_allows_write(name)) {
        g_guard_refused = true;
        return false;
    }
    FILE* test = std::fopen(name, mode);
    if (test == nullptr) return false;
    std::fclose(test);
    return true;
}

// Copies src into dst (kPathSize), cut to kPathSize-1 characters; the two may overlap.
// Returns the length copied.
size_t copy_text(char* dst, const char* src) {
    size_t n = 0;
    while (n < static_cast<size_t>(kPathSize - 1) && src[n] != '\0') ++n;
    std::memmove(dst, src, n);
    dst[n] = '\0';
    return n;
}

// Stores a folder name (empty allowed) as the output folder, ending in the separator.
void store_output_folder(const char* name) {
    const size_t len = copy_text(output_folder_path, name);
    if (len > 0 && output_folder_path[len - 1] != kFolderSeparator &&
        len + 1 < static_cast<size_t>(kPathSize)) {
        output_folder_path[len] = kFolderSeparator;
        output_folder_path[len + 1] = '\0';
    }
    output_folder_set = 1;
}

resolve_result find_candidates(const char* project_folder, const char* folder, const char* path,
                               const char* mode, bool write_first, char* out) {
    out[0] = '\0';
    g_guard_refused = false;
    project_folder = text_or_empty(project_folder);
    folder = text_or_empty(folder);
    path = text_or_empty(path);
    if (mode == nullptr) return resolve_result::not_found;
    char sub[kPathSize];

    if (write_first) {
        prepare_output_folder(folder, project_folder, sub);
        // 1) project folder + output folder + name (an absolute output folder stands alone)
        if (!join_name(out, sub[0] == kFolderSeparator ? "" : project_folder, sub, path))
            return resolve_result::too_long;
        if (candidate_opens(out, mode)) return resolve_result::opened;
        if (g_guard_refused) return resolve_result::refused;
        // 2) the name unchanged, relative to the working folder
        if (!join_name(out, "", "", path)) return resolve_result::too_long;
        if (candidate_opens(out, mode)) return resolve_result::opened;
        if (g_guard_refused) return resolve_result::refused;
        // 3) project folder + name
        if (!join_name(out, project_folder, "", path)) return resolve_result::too_long;
        if (candidate_opens(out, mode)) return resolve_result::opened;
        if (g_guard_refused) return resolve_result::refused;
        return resolve_result::not_found;
    }

    // Reading: 1) the name unchanged
    if (!join_name(out, "", "", path)) return resolve_result::too_long;
    if (candidate_opens(out, mode)) return resolve_result::opened;
    // 2) project folder + output folder + name
    prepare_output_folder(folder, project_folder, sub);
    if (!join_name(out, sub[0] == kFolderSeparator ? "" : project_folder, sub, path))
        return resolve_result::too_long;
    if (candidate_opens(out, mode)) return resolve_result::opened;
    return resolve_result::not_found;
}

resolve_result resolve_name(char* path, const char* mode, char* out) {
    out[0] = '\0';
    if (path == nullptr) return resolve_result::empty;
    strip_quotes(path);
    if (path[0] == '\0') return resolve_result::empty;

    const bool writing = is_write_mode(mode);
    char prefixed[kPathSize];
    const char* name = path;
    if (prefix_run_number == 1 && writing) {
        // The prefix goes in front of the whole name text, folders included.
        const int n = std::snprintf(prefixed, sizeof(prefixed), "%04d_%s", run_number, path);
        if (n < 0 || n >= kPathSize) return resolve_result::too_long;
        name = prefixed;
    }
    const char* folder = output_folder_set ? output_folder_path : "";

    g_folder_candidate = false;
    const resolve_result result =
        find_candidates(project_folder_path, folder, name, mode, writing, out);
    if (result == resolve_result::not_found) {
        std::printf("Error getting new filename from %s\n", name);
        if (g_folder_candidate) std::printf("Error: %s is a folder, not a file\n", name);
    }
    return result;
}

}  // namespace

input_guard_scope::input_guard_scope() : mark_(g_held.size()) { ++g_guard_depth; }

input_guard_scope::~input_guard_scope() {
    if (g_held.size() > mark_) g_held.resize(mark_);
    --g_guard_depth;
}

file_object::~file_object() { destroy_file_object(*this); }

void init_file_object(file_object& f) {
    f.handle = nullptr;
    f.guard = nullptr;
    std::memset(f.name, 0, sizeof(f.name));
    std::memset(f.mode, 0, sizeof(f.mode));
}

bool open_file_object(file_object& f, char* path, const char* mode) {
    if (f.guard != f.handle) std::printf(kCorruptMessage, f.name);
    if (path == nullptr || path[0] == '\0') return false;
    if (mode == nullptr || (mode[0] != 'a' && mode[0] != 'r' && mode[0] != 'w')) return false;

    if (f.handle != nullptr) {
        std::printf(kNotClosedMessage, f.name, path);
        // Close the earlier stream so that its buffered data reaches its file
        // and the stream is not lost; a handle that disagrees with its guard
        // copy is not trusted and is only dropped.
        if (f.guard == f.handle) std::fclose(f.handle);
        init_file_object(f);
    }

    char resolved[kPathSize];
    const resolve_result result = resolve_name(path, mode, resolved);
    if (result == resolve_result::too_long) {
        std::fputs(kTooLongMessage, stdout);
        f.handle = nullptr;
        return false;
    }
    if (result != resolve_result::opened) {
        f.handle = nullptr;
        return false;
    }

    const bool writing = is_write_mode(mode);
    FILE* handle = std::fopen(resolved, mode);
    if (handle == nullptr) {
        f.handle = nullptr;
        return false;
    }
    guard_hold(handle, resolved, writing);
    f.handle = handle;
    f.guard = handle;
    std::snprintf(f.name, sizeof(f.name), "%s", resolved);
    std::snprintf(f.mode, sizeof(f.mode), "%.4s", mode);
    return true;
}

void close_file_object(file_object& f) {
    if (f.guard != f.handle) std::printf(kCorruptMessage, f.name);
    if (f.handle != nullptr) std::fclose(f.handle);
    init_file_object(f);
}

void destroy_file_object(file_object& f) {
    if (f.handle == nullptr) return;
    close_file_object(f);
}

void resolve_path(char* path, const char* mode, char* out) {
    if (resolve_name(path, mode, out) == resolve_result::too_long) {
        std::fputs(kTooLongMessage, stdout);
    }
}

bool find_file_path(const char* project_folder, const char* folder, const char* path,
                    const char* mode, bool write_first, char* out) {
    return find_candidates(project_folder, folder, path, mode, write_first, out) ==
           resolve_result::opened;
}

void prepare_output_folder(const char* folder, const char* project_folder, char* sub) {
    folder = text_or_empty(folder);
    project_folder = text_or_empty(project_folder);
    copy_text(sub, folder);

    // Only a folder that begins with the project folder lies below it.
    const size_t n = std::strlen(project_folder);
    if (n == 0 || std::strncmp(folder, project_folder, n) != 0) return;

    copy_text(sub, folder + n);
    char full[kPathSize];
    if (!join_name(full, project_folder, sub, "")) {
        sub[0] = '\0';
    } else if (chdir(full) != 0 && mkdir(full, 0777) != 0) {
        sub[0] = '\0';
    }
    // From now on the output folder is held relative to the project folder;
    // an empty one sends output files to the project folder itself.
    store_output_folder(sub);
}

void set_output_folder(const char* name) {
    if (name == nullptr || name[0] == '\0') return;   // an empty card keeps the folder
    store_output_folder(name);
}

void set_project_folder(char* buffer, int length) {
    if (buffer == nullptr || length <= 0) return;
    if (buffer[length - 1] != kFolderSeparator) {
        buffer[length] = kFolderSeparator;
        buffer[length + 1] = '\0';
    }
    copy_text(project_folder_path, buffer);
}

bool open_file_named(file_object& f, const char* path, const char* mode) {
    if (path == nullptr) return false;
    char buffer[kPathSize];
    const int n = std::snprintf(buffer, sizeof(buffer), "%s", path);
    if (n < 0 || n >= kPathSize) {
        std::fputs(kTooLongMessage, stdout);
        return false;
    }
    return open_file_object(f, buffer, mode);
}

namespace {

// The folder part that prepare_output_folder puts between the project folder
// and a name, found without entering or creating the folder; `below` tells
// whether the folder was given below the project folder (it is then created
// when missing).
void planned_subfolder(const char* folder, const char* project_folder, char* sub, bool& below) {
    folder = text_or_empty(folder);
    project_folder = text_or_empty(project_folder);
    const size_t n = std::strlen(project_folder);
    below = n > 0 && std::strncmp(folder, project_folder, n) == 0;
    copy_text(sub, below ? folder + n : folder);
}

// The folder holding `name` ("." for a bare name).
void parent_folder(const char* name, char* out) {
    copy_text(out, name);
    char* last = std::strrchr(out, kFolderSeparator);
    if (last == nullptr) {
        copy_text(out, ".");
    } else if (last == out) {
        out[1] = '\0';   // the root folder
    } else {
        *last = '\0';
    }
}

bool folder_takes_files(const char* folder) {
    return is_folder(folder) && access(folder, W_OK | X_OK) == 0;
}

// True when opening `name` for writing would succeed: an existing writable
// file, or a new file in a folder that takes files.
bool would_write(const char* name) {
    struct stat info;
    if (stat(name, &info) == 0) return S_ISREG(info.st_mode) && access(name, W_OK) == 0;
    char parent[kPathSize];
    parent_folder(name, parent);
    return folder_takes_files(parent);
}

bool would_read(const char* name) {
    struct stat info;
    return stat(name, &info) == 0 && S_ISREG(info.st_mode) && access(name, R_OK) == 0;
}

}  // namespace

namespace {

// The name as the openers try it: quotes removed and, for writing with
// `with_prefix` (a batch or calibration run), the run-number prefix in front.
// False for an empty name or one that does not fit.
bool tried_name(const char* path, bool writing, bool with_prefix, char* name) {
    copy_text(name, path);
    strip_quotes(name);
    if (name[0] == '\0') return false;
    if (with_prefix && writing) {
        char prefixed[kPathSize];
        const int n = std::snprintf(prefixed, sizeof(prefixed), "%04d_%s", run_number, name);
        if (n < 0 || n >= kPathSize) return false;
        copy_text(name, prefixed);
    }
    return true;
}

// The output folder part `sub` and the folder it stands in, `base`.
void output_folder_parts(char* sub, const char*& base) {
    bool below = false;
    planned_subfolder(output_folder_set ? output_folder_path : "", project_folder_path, sub, below);
    base = sub[0] == kFolderSeparator ? "" : project_folder_path;
}

}  // namespace

bool planned_path(const char* path, const char* mode, char* out, int prefix) {
    out[0] = '\0';
    if (path == nullptr || mode == nullptr) return false;
    const bool writing = is_write_mode(mode);
    const bool with_prefix = prefix < 0 ? prefix_run_number == 1 : prefix == 1;
    char name[kPathSize];
    if (!tried_name(path, writing, with_prefix, name)) return false;
    char sub[kPathSize];
    const char* base = "";
    output_folder_parts(sub, base);
    if (writing) {
        const char* candidates[][3] = {{base, sub, name}, {"", "", name}, {project_folder_path, "", name}};
        for (const auto& c : candidates) {
            if (join_name(out, c[0], c[1], c[2]) && would_write(out)) return true;
        }
    } else {
        const char* candidates[][3] = {{"", "", name}, {base, sub, name}};
        for (const auto& c : candidates) {
            if (join_name(out, c[0], c[1], c[2]) && would_read(out)) return true;
        }
    }
    out[0] = '\0';
    return false;
}

bool first_output_path(const char* path, char* out, int prefix) {
    out[0] = '\0';
    if (path == nullptr) return false;
    const bool with_prefix = prefix < 0 ? prefix_run_number == 1 : prefix == 1;
    char name[kPathSize];
    if (!tried_name(path, true, with_prefix, name)) return false;
    char sub[kPathSize];
    const char* base = "";
    output_folder_parts(sub, base);
    return join_name(out, base, sub, name);
}

output_place output_file_place(const char* path, char* folder, int prefix) {
    folder[0] = '\0';
    char planned[kPathSize];
    if (planned_path(path, "w", planned, prefix)) return output_place::ready;
    char first[kPathSize];
    if (!first_output_path(path, first, prefix)) return output_place::ready;   // its opener reports
    parent_folder(first, folder);
    struct stat info;
    if (stat(folder, &info) == 0) {
        if (!S_ISDIR(info.st_mode)) return output_place::not_a_folder;
        // The folder exists: the file itself is in the way (a folder, or not writable).
        return access(folder, W_OK | X_OK) == 0 ? output_place::ready : output_place::not_writable;
    }
    char parent[kPathSize];
    parent_folder(folder, parent);
    return folder_takes_files(parent) ? output_place::folder_to_make : output_place::no_parent;
}

const char* output_folder_problem(char* folder) {
    folder[0] = '\0';
    if (!output_folder_set || output_folder_path[0] == '\0') return nullptr;
    char sub[kPathSize];
    bool below = false;
    planned_subfolder(output_folder_path, project_folder_path, sub, below);
    const char* base = sub[0] == kFolderSeparator ? "" : project_folder_path;
    if (!join_name(folder, base, sub, "")) return "is too long a name";
    // The folder without its closing separators ("a/" of a plain file is no folder at all).
    char tried[kPathSize];
    copy_text(tried, folder[0] != '\0' ? folder : ".");
    size_t len = std::strlen(tried);
    while (len > 1 && tried[len - 1] == kFolderSeparator) tried[--len] = '\0';
    struct stat info;
    if (stat(tried, &info) != 0) {
        // A folder below the project folder is created on the first write (one level).
        if (!below) return "does not exist";
        char parent[kPathSize];
        parent_folder(tried, parent);
        return folder_takes_files(parent) ? nullptr : "does not exist and cannot be created";
    }
    if (!S_ISDIR(info.st_mode)) return "is not a folder";
    if (access(tried, W_OK | X_OK) != 0) return "cannot be written";
    return nullptr;
}
