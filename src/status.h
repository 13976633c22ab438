// The outcome of a step that may have to stop the run.
#pragma once

#include <cstddef>
#include <cstdio>

// Success, or the report line the run writes before it stops. Steps never write
// their own failure line and never end the process: they hand the line back.
// The line lives in fixed storage inside the value, so nothing between a failure
// and its report line allocates or throws, even when memory has run out.
class Status {
public:
    // Longer lines are cut; every line the tool itself makes is far shorter.
    static constexpr std::size_t kLineCapacity = 256;

    static Status success() { return {}; }

    // The line `format` gives with its one %s replaced by `name`.
    static Status failure(const char* format, const char* name) {
        Status status;
        std::snprintf(status.line_, sizeof status.line_, format, name);
        return status;
    }

    bool ok() const { return line_[0] == '\0'; }
    const char* failure_line() const { return line_; }

private:
    char line_[kLineCapacity] = {};
};
