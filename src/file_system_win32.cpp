#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>

#include "file_system.h"

namespace {

// True when the report's stream goes to the very file `handle` is open on, by
// whatever name. Where either identity cannot be read (a pipe, a console, or
// a handle Wine made on the Unix side) nothing can be told, and nothing is refused.
bool is_standard_output(HANDLE handle) {
    const auto out = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
    BY_HANDLE_FILE_INFORMATION out_info{}, info{};
    return out != INVALID_HANDLE_VALUE && GetFileInformationByHandle(out, &out_info) &&
           GetFileInformationByHandle(handle, &info) &&
           out_info.dwVolumeSerialNumber == info.dwVolumeSerialNumber &&
           out_info.nFileIndexHigh == info.nFileIndexHigh &&
           out_info.nFileIndexLow == info.nFileIndexLow;
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

std::FILE* open_output_file(const char* name) {
    // Opened without truncation: an earlier output is cut only once everything
    // else has worked, and a file this open creates is removed again if that fails.
    const HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    // The report would be written over the converted data.
    std::FILE* file = nullptr;
    const int fd =
        is_standard_output(handle)
            ? -1
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
