// Everything that touches the console and the standard streams. One source file
// per platform implements it (console_posix.cpp, console_win32.cpp).
#pragma once

#include <cstddef>

// Makes the standard streams safe and sets how the report reaches them; call it
// first thing. Closed standard descriptors are attached to the null device, so no
// file the run opens can take their number. On a terminal each report line is
// shown as soon as it is written; elsewhere the report collects in a 4096-byte
// buffer that only a full buffer or the end of the process writes out. A report
// that cannot be written (a reader gone, a full disk) never stops the run, and a
// write past a file-size limit fails as a write instead of ending the process.
void prepare_process();

// The redirected report's buffer. A whole report is far smaller, so it goes out
// only at the end of the process, never halfway.
inline constexpr std::size_t kReportBufferSize = 4096;

// Blocks until one key is pressed at the console and consumes that key whole.
// Reads the console itself, never standard input, with echo, line editing and
// interrupt keys off for the duration; keys typed earlier are kept and may end
// the wait at once. The previous input mode is back before this returns, and
// also when the process is ended by a signal during the wait. The mode is only
// touched while the process holds the terminal's foreground. Returns at once
// when there is no console or it cannot be read.
void wait_for_key();
