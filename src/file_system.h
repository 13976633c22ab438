// The few file-system calls that differ between platforms. One source file per
// platform implements them (file_system_posix.cpp, file_system_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

// Opens an existing regular file for binary reading, without locking anyone out.
// Returns nullptr when it is missing, unreadable, or not a regular file (a
// directory, FIFO, device or socket); opening never blocks.
std::FILE* open_input_file(const char* name);

// Creates or truncates `name` for binary writing, without locking anyone out.
// Returns nullptr, with the file as it was, when that is not possible or when
// `name` is the file standard output goes to; opening never blocks.
std::FILE* open_output_file(const char* name);

// Moves to the end of `file` and returns the position there as a 64-bit value,
// or -1 when the position cannot be had.
std::int64_t measure_file_size(std::FILE* file);
