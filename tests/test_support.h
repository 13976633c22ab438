// Helpers shared by the tests: scratch directories, file contents, and data
// sets shaped like the real ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A fresh directory that is removed with everything in it, even when a test fails.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The sample data sets shipped with the project, and their expected output.
extern const std::filesystem::path kExamples;
// Copies the two sample inputs into `dir`.
void copy_examples(const ScopedTempDir& dir);

void write_file(const std::filesystem::path& path, const Bytes& bytes);
Bytes read_file(const std::filesystem::path& path);
std::string read_text(const std::filesystem::path& path);

// Bytes that differ from their neighbours, so a byte carried to the wrong offset shows.
Bytes patterned_bytes(std::size_t size, std::uint8_t seed);

// A source image of the smallest size that holds `entries` records, with N set.
Bytes make_source(unsigned entries, std::size_t extra = 0);
// A template image of the smallest size that holds `entries` records.
Bytes make_template(unsigned entries, std::size_t extra = 0);

// The six lines the loader writes for one input that loaded, with plain line feeds.
std::string loaded_lines(const std::string& file_name, std::uint32_t size, std::uint32_t read);
// Text as the tool writes it through standard output: line feeds become CR LF
// where that is the text line end.
std::string platform_text(const std::string& text);

#ifndef _WIN32
// A command to run the tool under: strace, making a call on `path` fail as
// `injection` says in strace's -e inject syntax ("read:error=EIO:when=2").
std::vector<std::string> failing_call(const std::string& path, const std::string& injection);
#endif
// True when strace can be run (never on Windows); rows that inject failures need it.
bool have_strace();
