#include "core/file_write.h"
#include <cstdarg>
#include <cstdio>
#include "core/file_object.h"

int file_printf(file_object& f, const char* format, ...) {
    if (f.handle == nullptr) return 0;
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(f.handle, format, args);
    va_end(args);
    return n;
}
