// Guarded file wrapper and path resolution against the project and output
// folders. Every file of the program is opened and closed through it.
#pragma once
#include <cstdio>

struct file_object {
    FILE* handle = nullptr;   // the open stream, null when closed
    FILE* guard = nullptr;    // copy of the handle; a difference means the object was overwritten
    char name[1024] = {};     // resolved name under which the file was opened
    char mode[5] = {};        // open mode text ("r", "w", "a", "wb")

    file_object() = default;
    file_object(const file_object&) = delete;
    file_object& operator=(const file_object&) = delete;
    ~file_object();

    bool is_open() const { return handle != nullptr; }
};

// Program-wide path state.
extern char project_folder_path[1024];   // ends in the folder separator once set
extern char output_folder_path[1024];    // ends in the folder separator once set
extern int output_folder_set;            // 1 once an output folder was given
extern int run_number;                   // number put in front of written file names
extern int prefix_run_number;            // 1: files opened for writing get "%04d_" + name

constexpr char kFolderSeparator = '/';

void init_file_object(file_object& f);
bool open_file_object(file_object& f, char* path, const char* mode);
void close_file_object(file_object& f);
void destroy_file_object(file_object& f);
void resolve_path(char* path, const char* mode, char* out);
bool find_file_path(const char* project_folder, const char* folder, const char* path,
                    const char* mode, bool write_first, char* out);
void prepare_output_folder(const char* folder, const char* project_folder, char* sub);
void set_output_folder(const char* name);
void set_project_folder(char* buffer, int length);

// Where open_file_object would open `path` with `mode`, found without opening,
// creating or entering anything (the same candidates, run-number prefix and
// folders); false, with `out` empty, when no candidate would open. `prefix`
// 1 or 0 plans a written name with or without the run-number prefix; -1
// takes the program's prefix switch.
bool planned_path(const char* path, const char* mode, char* out, int prefix = -1);
// Why the output folder that the cards set cannot take the output files
// ("does not exist", "is not a folder", ...), or null when it can or none is
// set; `folder` (kPathSize characters) receives the folder as tried.
const char* output_folder_problem(char* folder);

// The first place open_file_object tries when it writes `path` (project
// folder, output folder, run-number prefix), whether or not it can take the
// file; false, with `out` empty, for an empty name or one too long. `prefix`
// as for planned_path.
bool first_output_path(const char* path, char* out, int prefix = -1);

// What stands in the way of writing the output `path`, found without opening
// or creating anything. `folder` receives the folder of the first place the
// writer tries (empty when some place can take the file already). `prefix`
// as for planned_path.
enum class output_place {
    ready,            // some place the writer tries takes the file (or the name opens nothing)
    folder_to_make,   // the folder is missing; the folder above it takes files
    no_parent,        // the folder and the folder above it are missing, or the latter takes no files
    not_a_folder,     // a file stands where the folder belongs
    not_writable,     // the folder exists and takes no files
};
output_place output_file_place(const char* path, char* folder, int prefix = -1);

// Convenience for callers holding a const name: copies it into a buffer first.
bool open_file_named(file_object& f, const char* path, const char* mode);

// The input guard. While a guard scope is open (a model run, a study), every
// file opened for reading that the program has not written itself is held
// as an input of the scope, and opening one of them for writing or
// appending is refused with a message naming both names: whatever name an
// output ends up with (a name built from a folder, a stem and a number, a
// name found inside an input file), it never overwrites an input. Scopes
// nest: a run inside a study keeps the study's inputs and forgets its own at
// its end. Outside every scope nothing is held or refused.
class input_guard_scope {
public:
    input_guard_scope();
    ~input_guard_scope();
    input_guard_scope(const input_guard_scope&) = delete;
    input_guard_scope& operator=(const input_guard_scope&) = delete;

private:
    size_t mark_;   // files held before this scope opened
};
