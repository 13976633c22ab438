#include "file_image.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <new>

#include "file_system.h"
#include "image_memory.h"
#include "report_lines.h"

namespace {

using namespace report_line;

// Formats one report line and hands it to the stream in a single write. MinGW's
// fprintf pushes the stream's buffer out after every call, which would let a
// redirected report trickle out before the key wait; a formatted string and
// fputs keep it in the buffer until the process ends, as on every platform.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void write_report_line(std::FILE* report, const char* format, ...) {
    char line[512];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::fputs(line, report);
}

}  // namespace

std::uint32_t image_size_from_position(std::int64_t position) {
    // Sizes past the 32-bit signed range (and failed queries) measure as -1,
    // which the allocation limit then refuses.
    if (position < 0 || position > INT32_MAX) return kUnmeasurableSize;
    return static_cast<std::uint32_t>(position);
}

FileRead read_whole_file(std::FILE* file, FileImage& image) {
    // Not rewind(): it cannot fail visibly, and a read from where the measuring
    // left off would deliver nothing and pass for an empty file.
    const bool at_start = std::fseek(file, 0, SEEK_SET) == 0;
    const std::size_t delivered =
        at_start ? std::fread(image.bytes.get(), 1, image.length, file) : 0;
    // Filling only what the read left is the same as filling first, and spares
    // a pass over the whole image.
    std::fill(image.bytes.get() + delivered, image.bytes.get() + image.length, kUnreadByte);
    // Only the error flag tells a failing disk from a file that got shorter.
    return {static_cast<std::uint32_t>(delivered), !at_start || std::ferror(file) != 0};
}

Status load_file_image(const char* file_name, FileImage& image, std::FILE* report) {
    std::FILE* file = open_input_file(file_name);
    if (file == nullptr) return Status::failure(kOpenFailed, file_name);
    write_report_line(report, kOpened, file_name);
    // Taken from the stream that is read, not the name, which may change meanwhile.
    image.origin = identify_file(file);

    const std::uint32_t size = image_size_from_position(measure_file_size(file));
    write_report_line(report, kSizeDecimal, file_name, size);
    write_report_line(report, kSizeHex, file_name, static_cast<unsigned long>(size));

    // nothrow new: a refused request must become the report line, never an abort.
    std::unique_ptr<std::uint8_t[]> bytes;
    if (size <= kLargestImage) bytes.reset(new (std::nothrow) std::uint8_t[size]);
    if (bytes == nullptr) {
        std::fclose(file);
        return Status::failure(kAllocationFailed, file_name);
    }
    std::fputs(kAllocated, report);
    advise_large_image(bytes.get(), size);

    image.bytes = std::move(bytes);
    image.length = size;
    const FileRead read = read_whole_file(file, image);
    std::fclose(file);  // read-only: nothing can be lost at the close
    write_report_line(report, kReadDecimal, read.delivered);
    write_report_line(report, kReadHex, static_cast<unsigned long>(read.delivered));
    // A short read alone is a file that shrank after it was measured, and goes on;
    // an error means the bytes on disk could not be had, and must not become output.
    if (read.failed) return Status::failure(kReadFailed, file_name);
    return Status::success();
}

Status save_file_image(const char* file_name, const FileImage& image,
                       std::span<const FileIdentity> kept, std::FILE* report) {
    std::FILE* file = open_output_file(file_name, kept);
    if (file == nullptr) return Status::failure(kOpenFailed, file_name);
    write_report_line(report, kOpened, file_name);

    const bool written =
        image.length == 0 || std::fwrite(image.bytes.get(), 1, image.length, file) == image.length;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return Status::failure(kWriteFailed, file_name);
    return Status::success();
}
