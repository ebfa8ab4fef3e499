// Program-wide error record and the error reporter.
//
// A routine that meets bad input or a numerical failure writes a numeric code
// (and the numbers and texts its message inserts) into `error_record` and
// returns; the run driver then calls `report_error`, which prints the message
// of the code from the message catalogue on the console and into the summary
// file, raises the stop flag (lowered again for warnings) and clears the code.
// A routine that has printed its own message sets code 4000.
#pragma once

struct file_object;

struct error_info {
    int code = 0;            // 0 nothing to report; a catalogue code; 4000 = message already printed
    int stop = 0;            // 1 = the run must end at the next check
    int number1 = 0;         // first number inserted into a message
    int number2 = 0;         // second number inserted into a message
    char what[60] = {};      // description of the failing item (at most 59 characters)
    char file_name[1028] = {};  // file name or longer text (at most 1027 characters)
};

extern error_info error_record;

// The summary file of the current run, or null; messages are copied into it.
extern file_object* current_summary_file;

// Code meaning "the caller has printed its own message".
constexpr int kErrorPrinted = 4000;

// One entry of the message catalogue.
struct message_entry {
    int code;
    bool warning;         // warnings report and let the run go on
    const char* text;     // template: literal text with {what}, {file}, {n1}, {n2} markers
};

// The whole catalogue, ordered by code, and its length.
const message_entry* message_catalogue(int* count);

// The catalogue entry of a code, or null when the code has none.
const message_entry* find_message(int code);

// Composes the message of `code` with the fields of `rec` (empty when the code has no entry).
void compose_message(int code, const error_info& rec, char* out, int out_size);

// Reports the code held in `rec` and clears it (see the file comment).
void report_error(error_info& rec);

// Writes `text` verbatim to standard output and, when `summary` is open, to it.
int write_report_text(file_object* summary, const char* text);

// Helpers for callers: set the code with the inserted texts (cut to their widths:
// 59 and 1027 characters, always NUL-terminated). A null text leaves its field as it is.
void set_error(int code, const char* what = nullptr, const char* file_name = nullptr);
void set_error_numbers(int code, int number1, int number2 = 0);
