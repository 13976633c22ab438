// Runs the built tool as a separate process in a scratch directory, with no
// console, so its key wait returns at once.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

enum class StdoutTarget {
    captured,     // a pipe the test reads
    reader_gone,  // a pipe whose reading end is already closed
    file,         // ToolOptions::stdout_file, appended to as with >>
};

struct ToolOptions {
    std::vector<std::string> arguments;
    StdoutTarget stdout_target = StdoutTarget::captured;
    std::filesystem::path stdout_file;           // relative to the tool's directory
    std::vector<int> closed_descriptors;         // standard descriptors closed when the tool starts
    unsigned long long address_space_limit = 0;  // bytes; 0 for none
    unsigned long long file_size_limit = 0;      // bytes; 0 for none
    std::vector<std::string> wrapper;            // a command the tool runs under (strace, ...)
};

struct ToolResult {
    int exit_status = -1;  // -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

ToolResult run_tool(const std::filesystem::path& directory, const ToolOptions& options = {});
