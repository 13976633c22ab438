// The outcome of a step that may have to stop the run.
#pragma once

#include <string>
#include <utility>

// Success, or the report line the run writes before it stops. Steps never write
// their own failure line and never end the process: they hand the line back.
struct Status {
    std::string failure_line;  // empty on success

    bool ok() const { return failure_line.empty(); }

    static Status success() { return {}; }
    static Status failure(std::string line) { return Status{std::move(line)}; }
};
