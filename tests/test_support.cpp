#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "transfer.h"

namespace fs = std::filesystem;

const fs::path kExamples = TARVUL2SEMROD_EXAMPLES;

void copy_examples(const ScopedTempDir& dir) {
    for (const char* name : {"tarvul.dat", "semrod.dat"})
        fs::copy_file(kExamples / name, dir / name);
}

ScopedTempDir::ScopedTempDir() {
    std::random_device random;
    for (;;) {
        path_ = fs::temp_directory_path() / ("tarvul2semrod-test-" + std::to_string(random()));
        if (fs::create_directory(path_)) return;
    }
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_text(const fs::path& path) {
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

Bytes patterned_bytes(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251 + seed);
    return bytes;
}

Bytes make_source(unsigned entries, std::size_t extra) {
    Bytes source = patterned_bytes(minimum_source_size(entries) + extra, 0x11);
    source[kSourceLayout.entry_count] = static_cast<std::uint8_t>(entries);
    return source;
}

Bytes make_template(unsigned entries, std::size_t extra) {
    return patterned_bytes(minimum_template_size(entries) + extra, 0x5A);
}

std::string platform_text(const std::string& text) {
#ifdef _WIN32
    std::string converted;
    for (const char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}

std::string loaded_lines(const std::string& file_name, std::uint32_t size, std::uint32_t read) {
    char lines[512];
    std::snprintf(lines, sizeof lines,
                  "[+] open %s ok \nFileSise %s %u \nFileSise %s 0x%08lX \n[+]mem ok\n"
                  "fread ok retcode %u \nfread ok retcode 0x%08lX \n",
                  file_name.c_str(), file_name.c_str(), size, file_name.c_str(),
                  static_cast<unsigned long>(size), read, static_cast<unsigned long>(read));
    return lines;
}

#ifndef _WIN32
std::vector<std::string> failing_call(const std::string& path, const std::string& injection) {
    const std::string call = injection.substr(0, injection.find(':'));
    std::vector<std::string> strace = {"strace", "-o/dev/null",     "-P",
                                       path,     "-etrace=" + call, "-einject=" + injection};
#ifdef TARVUL_SANITIZED
    // The leak checker cannot run under a tracer.
    strace.insert(strace.end(), {"-E", "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1"});
#endif
    return strace;
}
#endif

bool have_strace() {
#ifdef _WIN32
    return false;
#else
    return std::system("strace -V >/dev/null 2>&1") == 0;
#endif
}
