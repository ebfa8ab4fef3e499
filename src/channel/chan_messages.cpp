#include "channel/chan_messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/run_options.h"
#include "run/run_state.h"

namespace {

// Formats into a buffer that grows to the text's length.
std::vector<char> format_text(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> text(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size(), format, args);
    return text;
}

}  // namespace

bool chan_console_on(const run_state& rs) {
    return rs.quiet == 0 && rs.quiet_card == 0 && run_options.process_index == 0;
}

void chan_status(run_state& rs, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::vector<char> text = format_text(format, args);
    va_end(args);
    if (chan_console_on(rs)) {
        std::fputs(text.data(), stdout);
        std::fflush(stdout);
    }
    if (rs.summary_file.handle != nullptr) std::fputs(text.data(), rs.summary_file.handle);
}

void chan_say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::vector<char> text = format_text(format, args);
    va_end(args);
    write_report_text(current_summary_file, text.data());
}

void chan_fail() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}
