// The console on POSIX systems: the controlling terminal stands for the console
// keyboard, and the standard streams are the process's descriptors 0, 1 and 2.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "console.h"

namespace {

char g_report_buffer[kReportBufferSize];

// The bytes of one key (an escape sequence, a UTF-8 character) arrive together;
// a lone Esc is told from the start of a sequence by this much silence after it.
constexpr int kKeyByteGapMs = 50;
// No terminal sends a longer key sequence; the bound keeps garbage from looping.
constexpr int kLongestSequence = 32;

constexpr unsigned char kEscape = 0x1B;

// State the signal handlers need during the wait. Only async-signal-safe calls
// (tcgetpgrp, getpgrp, tcsetattr, sigaction, raise) touch it from a handler.
int g_tty = -1;
termios g_saved_mode;
termios g_raw_mode;

extern "C" void restore_mode_and_raise(int signal_number);
extern "C" void restore_mode_and_stop(int signal_number);
extern "C" void resume_raw_mode(int signal_number);

// Signals from outside during the wait. Every one whose default action ends the
// process (some with a core dump) puts the previous mode back first; SA_RESETHAND
// has restored that default by then, so the signal raised again ends the process
// as it would have, core dump included, once the handler returns. SIGKILL cannot
// be caught. The real-time signals, SIGRTMIN to SIGRTMAX, are not constants and
// join these at run time.
constexpr int kEndingSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

// What each signal did before the wait took it over, to be put back afterwards.
struct TakenSignal {
    int number;
    struct sigaction previous;
};
TakenSignal g_taken[NSIG];
std::size_t g_taken_count = 0;

// `flags` is unsigned: SA_RESETHAND does not fit a signed int on every system.
void take_over(int number, void (*handler)(int), unsigned flags) {
    struct sigaction previous {};
    // A signal the process was told to ignore (nohup, background jobs) stays ignored.
    if (sigaction(number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = static_cast<int>(flags);
    sigfillset(&action.sa_mask);
    if (sigaction(number, &action, nullptr) == 0) g_taken[g_taken_count++] = {number, previous};
}

// The terminal's mode belongs to whoever holds its foreground. A job sent to the
// background (stopped, then `bg`) must leave the shell's mode alone; the read
// then stops it, and being brought back to the foreground puts raw mode back.
void set_mode_if_foreground(const termios& mode) {
    if (tcgetpgrp(g_tty) == getpgrp()) tcsetattr(g_tty, TCSANOW, &mode);
}

extern "C" void restore_mode_and_raise(int signal_number) {
    set_mode_if_foreground(g_saved_mode);
    raise(signal_number);
}

extern "C" void restore_mode_and_stop(int signal_number) {
    set_mode_if_foreground(g_saved_mode);
    // Stop right here with the default action. In an orphaned process group the
    // system discards the stop instead, and the wait simply goes on.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    struct sigaction own_action {};
    sigaction(signal_number, &default_action, &own_action);
    sigset_t stop_only;
    sigemptyset(&stop_only);
    sigaddset(&stop_only, signal_number);
    sigprocmask(SIG_UNBLOCK, &stop_only, nullptr);
    raise(signal_number);
    sigaction(signal_number, &own_action, nullptr);
    set_mode_if_foreground(g_raw_mode);
}

// After any stop, SIGSTOP included, whoever had the terminal may have changed its mode.
extern "C" void resume_raw_mode(int) { set_mode_if_foreground(g_raw_mode); }

void install_wait_handlers() {
    for (const int number : kEndingSignals) take_over(number, restore_mode_and_raise, SA_RESETHAND);
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
        take_over(number, restore_mode_and_raise, SA_RESETHAND);
    }
    // A stop hands the terminal back for as long as the process is stopped.
    take_over(SIGTSTP, restore_mode_and_stop, SA_RESTART);
    take_over(SIGCONT, resume_raw_mode, SA_RESTART);
}

void remove_wait_handlers() {
    for (std::size_t i = 0; i < g_taken_count; ++i) {
        sigaction(g_taken[i].number, &g_taken[i].previous, nullptr);
    }
    g_taken_count = 0;
}

// Raw for the wait: no echo, no line editing, and no key with a meaning of its
// own (signals, flow control, literal-next, break) so that every key is just a key.
termios raw_mode_from(const termios& mode) {
    termios raw = mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | BRKINT | ISTRIP | INLCR | IGNCR | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// Reads one byte; with a timeout, gives up when nothing comes within it. Returns
// false on timeout, end of input or a read error.
bool read_byte(int fd, unsigned char& byte, int timeout_ms) {
    for (;;) {
        if (timeout_ms >= 0) {
            pollfd ready{fd, POLLIN, 0};
            const int polled = poll(&ready, 1, timeout_ms);
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) return false;
        }
        const ssize_t count = read(fd, &byte, 1);
        if (count == 1) return true;
        if (count < 0 && errno == EINTR) continue;
        return false;
    }
}

void consume_utf8_continuation(int fd, unsigned char lead) {
    int remaining = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    unsigned char byte = 0;
    while (remaining-- > 0 && read_byte(fd, byte, kKeyByteGapMs)) {
    }
}

// After "Esc [" or "Esc O": parameter and intermediate bytes, then one final byte.
void consume_control_sequence(int fd) {
    unsigned char byte = 0;
    for (int i = 0; i < kLongestSequence && read_byte(fd, byte, kKeyByteGapMs); ++i) {
        if (i == 0 && byte == '[') {
            // The Linux console's F1..F5 are "Esc [ [ A".."Esc [ [ E".
            read_byte(fd, byte, kKeyByteGapMs);
            return;
        }
        if (byte < 0x20 || byte > 0x3F) return;  // the final byte, or not a sequence at all
    }
}

// What follows an Esc: nothing (Esc alone), a control sequence (arrows, function
// keys), or a character sent with Alt.
void consume_after_escape(int fd, bool alt_prefix_seen = false) {
    unsigned char byte = 0;
    if (!read_byte(fd, byte, kKeyByteGapMs)) return;
    if (byte == '[' || byte == 'O') {
        consume_control_sequence(fd);
    } else if (byte == kEscape && !alt_prefix_seen) {
        consume_after_escape(fd, true);  // Alt with a key that is itself a sequence
    } else {
        consume_utf8_continuation(fd, byte);
    }
}

// Takes one key press from the terminal, whole. Returns when it has one, or when
// the terminal can no longer be read.
void read_one_key(int fd) {
    unsigned char first = 0;
    if (!read_byte(fd, first, -1)) return;
    if (first == kEscape) {
        consume_after_escape(fd);
    } else {
        consume_utf8_continuation(fd, first);
    }
}

}  // namespace

void prepare_process() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number is `fd` itself, since the lower ones are open.
            const int null_fd = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (null_fd >= 0 && null_fd != fd) close(null_fd);
        }
    }
    // A reader that went away must cost the report, not the run; a file-size limit
    // must give a failed write the run can report, not kill it halfway.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    setvbuf(stdout, g_report_buffer, isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, kReportBufferSize);
}

void wait_for_key() {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    // With no descriptor to spare the terminal cannot be opened anew, but standard
    // input may be that very terminal. Anything else means no controlling terminal:
    // nobody to wait for.
    const bool own_descriptor = fd >= 0;
    if (!own_descriptor && tcgetsid(STDIN_FILENO) == getsid(0)) fd = STDIN_FILENO;
    if (fd < 0) return;
    if (tcgetattr(fd, &g_saved_mode) != 0) {
        if (own_descriptor) close(fd);
        return;
    }
    g_tty = fd;
    g_raw_mode = raw_mode_from(g_saved_mode);
    install_wait_handlers();
    // TCSANOW, not TCSAFLUSH: a key typed while the files loaded must still count.
    // Started in the background, the read below stops the tool until it is
    // brought to the foreground, and the SIGCONT handler makes the mode raw then.
    set_mode_if_foreground(g_raw_mode);

    read_one_key(fd);

    set_mode_if_foreground(g_saved_mode);
    remove_wait_handlers();
    g_tty = -1;
    if (own_descriptor) close(fd);
}
