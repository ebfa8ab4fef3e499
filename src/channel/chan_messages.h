// Console and summary-file messages of the channel readers and set-up.
#pragma once

struct run_state;

// True when status lines go to the console: neither quiet card is on and this
// is the first process.
bool chan_console_on(const run_state& rs);

// A status line: on the console when chan_console_on, always into the summary file.
void chan_status(run_state& rs, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A message printed whatever the quiet cards say, on the console and into the
// summary file of the current run.
void chan_say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Raises code 4000 (message already printed) through the error reporter,
// which sets the stop flag.
void chan_fail();
