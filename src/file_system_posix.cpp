#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_system.h"

namespace {

// O_NONBLOCK keeps the open itself from waiting on a FIFO (for a writer, or for a
// reader when writing); it is cleared again before any data moves.
std::FILE* open_without_blocking(const char* name, int flags, const char* mode,
                                 bool regular_file_only) {
    const int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (regular_file_only && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return nullptr;
    }
    const int status_flags = ::fcntl(fd, F_GETFL);
    if (status_flags < 0 || ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) < 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, mode);
    if (file == nullptr) ::close(fd);
    return file;
}

}  // namespace

std::FILE* open_input_file(const char* name) {
    return open_without_blocking(name, O_RDONLY, "rb", true);
}

std::FILE* open_output_file(const char* name) {
    // Any writable target is allowed (a pipe or a device as well as a file); the
    // write and the close are checked instead.
    return open_without_blocking(name, O_WRONLY | O_CREAT | O_TRUNC, "wb", false);
}

std::int64_t measure_file_size(std::FILE* file) {
    static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");
    if (::fseeko(file, 0, SEEK_END) != 0) return -1;
    return static_cast<std::int64_t>(::ftello(file));
}
