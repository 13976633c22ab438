#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "file_system.h"

namespace {

constexpr int kCommonFlags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

// O_NONBLOCK keeps the open itself from waiting on a FIFO (for a writer, or for a
// reader when writing); it is cleared again before any data moves.
bool make_blocking(int fd) {
    const int status_flags = ::fcntl(fd, F_GETFL);
    return status_flags >= 0 && ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) >= 0;
}

FileIdentity identity_of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino), true};
}

}  // namespace

std::FILE* open_input_file(const char* name) {
    const int fd = ::open(name, O_RDONLY | kCommonFlags);
    if (fd < 0) return nullptr;
    struct stat info {};
    std::FILE* file = nullptr;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && make_blocking(fd)) {
        file = ::fdopen(fd, "rb");
    }
    if (file == nullptr) ::close(fd);
    return file;
}

FileIdentity identify_file(std::FILE* file) {
    struct stat info {};
    return ::fstat(::fileno(file), &info) == 0 ? identity_of(info) : FileIdentity{};
}

std::FILE* open_output_file(const char* name, std::span<const FileIdentity> kept) {
    // Opened without O_TRUNC: an earlier output is cut only once everything else
    // has worked, and a file this open creates is removed again if that fails.
    int fd = ::open(name, O_WRONLY | kCommonFlags);
    bool created = false;
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | kCommonFlags, 0666);
        created = fd >= 0;
        // A link to a file yet to be made: O_EXCL will not follow it.
        if (fd < 0 && errno == EEXIST) fd = ::open(name, O_WRONLY | O_CREAT | kCommonFlags, 0666);
    }
    if (fd < 0) return nullptr;
    // Any writable target is allowed (a pipe or a device as well as a file); the
    // write and the close are checked instead. Only the kept files are refused,
    // compared by the descriptor itself, so no rename between check and use can
    // slip past.
    struct stat info {};
    std::FILE* file = nullptr;
    const auto is_output = [&](const FileIdentity& other) {
        return same_file(identity_of(info), other);
    };
    if (::fstat(fd, &info) == 0 && std::ranges::none_of(kept, is_output) && make_blocking(fd)) {
        file = ::fdopen(fd, "wb");
    }
    if (file == nullptr) {
        ::close(fd);
    } else if (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr && created) ::unlink(name);
    return file;
}

std::int64_t measure_file_size(std::FILE* file) {
    static_assert(sizeof(off_t) >= 8, "build with 64-bit file offsets");
    if (::fseeko(file, 0, SEEK_END) != 0) return -1;
    return static_cast<std::int64_t>(::ftello(file));
}
