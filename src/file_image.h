// Whole files held in memory: loading an input file with its console report,
// and saving an image to the output file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "file_system.h"
#include "status.h"

// The whole content of one file. `length` is the size measured when the file was
// loaded; `bytes` holds exactly that many bytes (possibly none). `origin` is the
// file it was read from, so that no output is ever written over it.
struct FileImage {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;
    FileIdentity origin;

    std::span<std::uint8_t> view() { return {bytes.get(), length}; }
    std::span<const std::uint8_t> view() const { return {bytes.get(), length}; }
};

// Every byte of a new image holds this until the read fills it, so a read that
// stops early leaves a recognisable tail instead of stale heap bytes.
inline constexpr std::uint8_t kUnreadByte = 0xFF;

// Larger requests are refused without asking the heap.
inline constexpr std::uint32_t kLargestImage = 0xFFFFFFE0;

// What a file that does not fit a 32-bit signed position measures as: the
// position query's failure value -1, seen as an unsigned 32-bit count.
inline constexpr std::uint32_t kUnmeasurableSize = 0xFFFFFFFF;

// Turns a measured position (negative when the query failed) into the image size.
std::uint32_t image_size_from_position(std::int64_t position);

// Opens `file_name` (a regular file only), measures it, allocates an image of that
// size filled with kUnreadByte, reads the file into it in one request and closes
// it, writing the open, size, allocation and read-count lines to `report`.
// Fails with the open-failed or allocation-failed line, which it does not write,
// or, after the read-count lines, with the read-failed line when the read reported
// an error. A read that merely delivers fewer bytes than measured is no failure.
Status load_file_image(const char* file_name, FileImage& image, std::FILE* report);

struct FileRead {
    std::uint32_t delivered;  // bytes the read put into the image
    bool failed;              // no way back to the start, or an error rather than an early end
};

// Goes back to the start of `file`, reads up to image.length bytes into the image,
// and sets every byte the read did not deliver to kUnreadByte. A failed move to
// the start is a failed read of nothing.
FileRead read_whole_file(std::FILE* file, FileImage& image);

// Creates or truncates `file_name`, writes the opened line to `report`, then
// writes the whole image in one request and closes the file. Fails with the
// open-failed line (the file is then as it was), also when `file_name` is one
// of the `kept` files by any name, or with the write-failed line when the write
// or the close fails (a full disk often shows only at the close).
Status save_file_image(const char* file_name, const FileImage& image,
                       std::span<const FileIdentity> kept, std::FILE* report);
