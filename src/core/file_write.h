// Formatted writes into a file object that may not be open.
#pragma once

struct file_object;

// fprintf into the object's stream; writes nothing and returns 0 when it is closed.
int file_printf(file_object& f, const char* format, ...) __attribute__((format(printf, 2, 3)));
