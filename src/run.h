// One conversion run from entry to exit: load both inputs, convert, save,
// report each step, wait for a key, and end with exit status 0 or 1.
#pragma once

inline constexpr char kSourceFileName[] = "tarvul.dat";
inline constexpr char kTemplateFileName[] = "semrod.dat";
inline constexpr char kOutputFileName[] = "new_semrod.dat";

inline constexpr int kExitComplete = 0;
inline constexpr int kExitStopped = 1;

// Runs the conversion in the current directory. Returns kExitComplete after a
// complete run; a failure ends the process through stop_run instead.
int run_conversion();

// Writes `line` to standard output, waits for a key, and ends the process with
// kExitStopped. Releases nothing: process exit reclaims files and memory.
// Allocates nothing, so it works even when memory has run out.
[[noreturn]] void stop_run(const char* line);

// Ends the process with `status` after writing out what is left of the report.
// A report that cannot be written gets a note on standard error but keeps the status.
[[noreturn]] void end_run(int status);
