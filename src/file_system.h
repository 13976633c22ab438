// The few file-system calls that differ between platforms. One source file per
// platform implements them (file_system_posix.cpp, file_system_win32.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

// Which file an open stream is on, whatever name reached it: device and inode on
// POSIX, volume serial number and file index on Windows. Unknown where the
// system would not tell.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool known = false;
};

// True only when both identities are known and name the same file.
inline bool same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

// Opens an existing regular file for binary reading, without locking anyone out.
// Returns nullptr when it is missing, unreadable, or not a regular file (a
// directory, FIFO, device or socket); opening never blocks.
std::FILE* open_input_file(const char* name);

// The identity of the file `file` is open on.
FileIdentity identify_file(std::FILE* file);

// Creates or truncates `name` for binary writing, without locking anyone out.
// Returns nullptr, with the file as it was, when that is not possible, or when
// `name` is one of the `kept` files by any name (the opened file itself is
// compared, so a link cannot cost the file it leads to); opening never blocks.
std::FILE* open_output_file(const char* name, std::span<const FileIdentity> kept);

// Moves to the end of `file` and returns the position there as a 64-bit value,
// or -1 when the position cannot be had.
std::int64_t measure_file_size(std::FILE* file);
