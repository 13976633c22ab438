#include <share.h>
#include <sys/stat.h>

#include "file_system.h"

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

std::FILE* open_output_file(const char* name) { return _fsopen(name, "wb", _SH_DENYNO); }

std::int64_t measure_file_size(std::FILE* file) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    return _ftelli64(file);
}
