#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "file_system.h"

namespace {

// Unknown for a pipe or a console, and for a handle Wine made on the Unix side.
FileIdentity identify_handle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return {};
    return {info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, true};
}

}  // namespace

std::FILE* open_input_file(const char* name) {
    std::FILE* file = _fsopen(name, "rb", _SH_DENYNO);
    if (file == nullptr) return nullptr;
    struct _stat64 info {};
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

FileIdentity identify_file(std::FILE* file) {
    return identify_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

std::FILE* open_output_file(const char* name, std::span<const FileIdentity> kept) {
    // Opened without truncation: an earlier output is cut only once everything
    // else has worked, and a file this open creates is removed again if that fails.
    const HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    // Only the kept files are refused. Where an identity cannot be read nothing
    // can be told, and nothing is refused.
    const FileIdentity output = identify_handle(handle);
    const bool refused = std::ranges::any_of(
        kept, [&](const FileIdentity& other) { return same_file(output, other); });
    std::FILE* file = nullptr;
    const int fd =
        refused ? -1
                : _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd != -1) file = _fdopen(fd, "wb");
    if (file == nullptr) {
        if (fd != -1) {
            _close(fd);
        } else {
            CloseHandle(handle);
        }
    } else if (GetFileType(handle) == FILE_TYPE_DISK && !SetEndOfFile(handle)) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr && created) DeleteFileA(name);
    return file;
}

std::int64_t measure_file_size(std::FILE* file) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    return _ftelli64(file);
}
