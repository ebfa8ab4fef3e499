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
// folders); false, with `out` empty, when no candidate would open.
bool planned_path(const char* path, const char* mode, char* out);
// Why the output folder that the cards set cannot take the output files
// ("does not exist", "is not a folder", ...), or null when it can or none is
// set; `folder` (kPathSize characters) receives the folder as tried.
const char* output_folder_problem(char* folder);

// The first place open_file_object tries when it writes `path` (project
// folder, output folder, run-number prefix), whether or not it can take the
// file; false, with `out` empty, for an empty name or one too long.
bool first_output_path(const char* path, char* out);

// What stands in the way of writing the output `path`, found without opening
// or creating anything. `folder` receives the folder of the first place the
// writer tries (empty when some place can take the file already).
enum class output_place {
    ready,            // some place the writer tries takes the file (or the name opens nothing)
    folder_to_make,   // the folder is missing; the folder above it takes files
    no_parent,        // the folder and the folder above it are missing, or the latter takes no files
    not_a_folder,     // a file stands where the folder belongs
    not_writable,     // the folder exists and takes no files
};
output_place output_file_place(const char* path, char* folder);

// Convenience for callers holding a const name: copies it into a buffer first.
bool open_file_named(file_object& f, const char* path, const char* mode);
