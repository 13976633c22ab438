// The key wait on a real terminal: the tool runs on a pseudo-terminal that the
// test holds both ends of, and the test presses the keys.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "run.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// True once `done` holds, asked every few milliseconds for up to 20 s.
template <typename Condition>
bool eventually(Condition done) {
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
        if (done()) return true;
    }
    return done();
}

struct TerminalOptions {
    // Empty: stdout is the terminal. Otherwise stdout goes to that file and stdin
    // comes from /dev/null, so only the terminal itself can end the wait.
    fs::path output_file;
    std::string typed_ahead;            // keys pressed before the tool starts
    int ignored_signal = 0;             // a signal the tool starts with ignored, as under nohup
    bool every_signal_ignored = false;  // every catchable one, as some service managers do
    // The tool is not started directly: an interactive shell with job control
    // runs on the terminal instead, and the test types the commands.
    bool under_shell = false;
    // A call on the terminal that strace makes fail, in its -e inject syntax.
    const char* injection = nullptr;
};

// The tool (or a shell) on a pseudo-terminal that is its controlling terminal.
class TerminalRun {
public:
    explicit TerminalRun(const fs::path& directory, const TerminalOptions& options = {}) {
        EXPECT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        tcgetattr(slave_, &initial_mode_);
        if (!options.typed_ahead.empty()) press(options.typed_ahead);
        std::vector<std::string> command;
        if (options.injection != nullptr) command = failing_call("/dev/tty", options.injection);
        command.push_back(TARVUL2SEMROD_PATH);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            const fs::path& output_file = options.output_file;
            const int in = output_file.empty() ? slave_ : open("/dev/null", O_RDONLY);
            const int out = output_file.empty()
                                ? slave_
                                : open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(out, 1);
            dup2(slave_, 2);
            close(master_);
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            if (options.ignored_signal != 0) ::signal(options.ignored_signal, SIG_IGN);
            for (int number = 1; options.every_signal_ignored && number <= SIGRTMAX; ++number) {
                ::signal(number, SIG_IGN);  // fails harmlessly for those that cannot be caught
            }
            if (chdir(directory.c_str()) != 0) _exit(126);
            if (options.under_shell) {
                char* const environment[] = {const_cast<char*>("PS1=$ "), nullptr};
                execle("/bin/dash", "dash", "-i", static_cast<char*>(nullptr), environment);
            } else {
                std::vector<char*> argv;
                for (std::string& word : command) argv.push_back(word.data());
                argv.push_back(nullptr);
                execvp(argv[0], argv.data());
            }
            _exit(127);
        }
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }

    ~TerminalRun() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(master_);
        close(slave_);
    }

    // True once the tool has switched the terminal out of line mode for its wait.
    bool wait_until_raw() {
        return eventually([&] {
            drain();
            return (local_modes() & ICANON) == 0;
        });
    }

    void signal(int signal_number) { kill(pid_, signal_number); }

    // The process group in the terminal's foreground: a job the shell started.
    pid_t foreground_job() { return tcgetpgrp(master_); }

    // True once the line discipline is back in line mode with echo, as a shell needs it.
    bool wait_until_line_mode() {
        return eventually([&] {
            drain();
            return (local_modes() & (ICANON | ECHO)) == (ICANON | ECHO);
        });
    }

    // True once what the terminal showed contains `text`.
    bool wait_until_shown(const std::string& text) {
        return eventually([&] { return shown().find(text) != std::string::npos; });
    }

    void press(const std::string& keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }

    bool wait_until_stopped() {
        return eventually([&] {
            int status = 0;
            return waitpid(pid_, &status, WUNTRACED | WNOHANG) == pid_ && WIFSTOPPED(status);
        });
    }

    // Puts the terminal back in line mode, as a shell does while a job is stopped.
    void set_line_mode() { tcsetattr(slave_, TCSANOW, &initial_mode_); }

    bool still_running() {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == 0) return true;
        exited_ = true;
        status_ = status;
        return false;
    }

    // The wait status of the tool, once it has ended (-1 if it does not end in time).
    int finish() {
        const bool ended = eventually([&] {
            drain();
            return !still_running();
        });
        return ended ? status_ : -1;
    }

    bool mode_restored() {
        termios now{};
        tcgetattr(slave_, &now);
        return now.c_lflag == initial_mode_.c_lflag && now.c_iflag == initial_mode_.c_iflag &&
               now.c_cc[VMIN] == initial_mode_.c_cc[VMIN] &&
               now.c_cc[VTIME] == initial_mode_.c_cc[VTIME];
    }

    // What the tool left unread in the terminal's input.
    std::string unread_input() {
        termios mode{};
        tcgetattr(slave_, &mode);
        cfmakeraw(&mode);
        mode.c_cc[VMIN] = 0;
        mode.c_cc[VTIME] = 0;
        tcsetattr(slave_, TCSANOW, &mode);
        std::string left;
        char buffer[64];
        for (ssize_t count; (count = read(slave_, buffer, sizeof buffer)) > 0;)
            left.append(buffer, count);
        return left;
    }

    const std::string& shown() {
        drain();
        return shown_;
    }

private:
    tcflag_t local_modes() {
        termios mode{};
        tcgetattr(slave_, &mode);
        return mode.c_lflag;
    }

    void drain() {
        char buffer[4096];
        for (ssize_t count; (count = read(master_, buffer, sizeof buffer)) > 0;)
            shown_.append(buffer, count);
    }

    int master_ = -1, slave_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
    termios initial_mode_{};
    std::string shown_;
};

bool exited_with(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

// True once `pid` is stopped, as /proc tells it; works for processes that are not ours.
bool wait_until_process_stopped(pid_t pid) {
    const fs::path stat = "/proc/" + std::to_string(pid) + "/stat";
    return eventually([&] {
        const std::string text = read_text(stat);
        const auto state = text.rfind(')');
        return state != std::string::npos && text.substr(state + 2, 1) == "T";
    });
}

TEST(KeyWait, WaitsForAKeyAndRestoresTheMode) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun tool(dir.path());
    ASSERT_TRUE(tool.wait_until_raw());
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(tool.still_running());
    // The whole report is on the screen before the wait begins.
    EXPECT_NE(tool.shown().find("[+] open new_semrod.dat ok \r\n"), std::string::npos);
    tool.press("k");
    EXPECT_TRUE(exited_with(tool.finish(), 0));
    EXPECT_TRUE(tool.mode_restored());
}

// Every key ends the wait and is taken whole: what was typed after it stays.
TEST(KeyWait, OneKeyEndsTheWaitAndIsConsumedWhole) {
    struct Case {
        const char* name;
        std::string key;
        int gap_ms = 0;                   // between the key's bytes, as a slow link delivers them
        std::string left = "z";           // what the shell gets afterwards
        const char* injection = nullptr;  // a call on the terminal that fails once
    };
    const std::vector<Case> cases = {
        {"letter", "k"},
        {"Enter", "\r"},
        {"Ctrl+C", "\x03"},
        {"Ctrl+Z", "\x1a"},
        {"Ctrl+\\", "\x1c"},
        {"Ctrl+S", "\x13"},
        {"Ctrl+V", "\x16"},
        {"arrow", "\x1b[A"},
        {"SS3 arrow", "\x1bOA"},
        {"F1", "\x1bOP"},
        {"F5", "\x1b[15~"},
        {"Shift+F5", "\x1b[15;2~"},
        {"console F1", "\x1b[[A"},
        {"Alt+x", "\x1bx"},
        {"Alt+arrow", "\x1b\x1b[A"},
        {"UTF-8", "\xc3\xa9"},
        {"UTF-8 3 bytes", "\xe2\x82\xac"},
        {"UTF-8 4 bytes", "\xf0\x9f\x99\x82"},
        {"UTF-8, the last 2-byte character", "\xdf\xbf"},
        {"UTF-8, the highest 4-byte lead", "\xf7\x80\x80\x80"},
        {"sequence ended by the last byte below 0x20", "\x1b[\x1f"},
        {"UTF-8, bytes 10 ms apart", "\xe2\x82\xac", 10},
        {"arrow, bytes 10 ms apart", "\x1b[A", 10},
        // Alt+Esc and Esc arriving at once cannot be told apart; all three go.
        {"Esc three times at once", "\x1b\x1b\x1b"},
        {"Esc three times, 150 ms apart", "\x1b\x1b\x1b", 150, "\x1b\x1bz"},
        // A signal that lands in a read or a pause changes nothing.
        {"letter, its read interrupted", "k", 0, "z", "read:error=EINTR:when=1"},
        {"lone Esc, its pause interrupted", "\x1b", 150, "z", "poll:error=EINTR:when=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.injection != nullptr && !have_strace()) continue;
        ScopedTempDir dir;
        copy_examples(dir);
        TerminalRun tool(dir.path(), {.injection = c.injection});
        ASSERT_TRUE(tool.wait_until_raw());
        for (const char byte : c.gap_ms == 0 ? std::string() : c.key) {
            tool.press(std::string(1, byte));
            std::this_thread::sleep_for(std::chrono::milliseconds(c.gap_ms));
        }
        tool.press((c.gap_ms == 0 ? c.key : "") + "z");
        EXPECT_TRUE(exited_with(tool.finish(), 0));
        EXPECT_TRUE(tool.mode_restored());
        EXPECT_EQ(tool.unread_input(), c.left);
    }
}

TEST(KeyWait, ALoneEscapeEndsTheWaitAfterAShortPause) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun tool(dir.path());
    ASSERT_TRUE(tool.wait_until_raw());
    tool.press("\x1b");
    EXPECT_TRUE(exited_with(tool.finish(), 0));
    EXPECT_EQ(tool.unread_input(), "");
}

// A failure stop waits as well, and Ctrl+C there is just a key. With no
// descriptor to spare (EMFILE), the terminal cannot be opened anew, but standard
// input is that terminal, so the wait goes on there.
TEST(KeyWait, AFailureStopWaitsAndKeepsStatusOne) {
    struct Case {
        const char* name;
        const char* injection;  // what opening the terminal anew fails with
    };
    for (const Case c :
         {Case{"no inputs", nullptr}, Case{"no descriptor to spare", "openat:error=EMFILE"}}) {
        SCOPED_TRACE(c.name);
        if (c.injection != nullptr && !have_strace()) continue;
        ScopedTempDir dir;
        TerminalRun tool(dir.path(), {.injection = c.injection});
        ASSERT_TRUE(tool.wait_until_raw());
        tool.press("\x03");
        EXPECT_TRUE(exited_with(tool.finish(), 1));
        EXPECT_TRUE(tool.mode_restored());
        EXPECT_EQ(tool.shown(), "[-] open tarvul.dat error\r\n");
    }
}

TEST(KeyWait, AKeyTypedAheadEndsTheWaitAtOnce) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun tool(dir.path(), {.typed_ahead = "k"});
    EXPECT_TRUE(exited_with(tool.finish(), 0));
    EXPECT_TRUE(tool.mode_restored());
}

// With stdin and stdout redirected the wait still reads the terminal, and the
// redirected report arrives only when the process ends.
TEST(KeyWait, RedirectedReportStaysEmptyDuringTheWait) {
    for (const bool complete : {true, false}) {
        SCOPED_TRACE(complete ? "complete run" : "failure stop");
        ScopedTempDir dir;
        if (complete) copy_examples(dir);
        const fs::path report = dir / "report.txt";
        TerminalRun tool(dir.path(), {.output_file = report});
        ASSERT_TRUE(tool.wait_until_raw());
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(tool.still_running());
        EXPECT_EQ(fs::file_size(report), 0u);
        tool.press(" ");
        EXPECT_TRUE(exited_with(tool.finish(), complete ? 0 : 1));
        const std::string first_line =
            complete ? "[+] open tarvul.dat ok \n" : "[-] open tarvul.dat error\n";
        EXPECT_EQ(read_text(report).substr(0, first_line.size()), first_line);
    }
}

// True when the default action of `signal_number` ends a process (with or
// without a core dump), as found by trying it on a child, not by a list.
bool ends_process_by_default(int signal_number) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        ::signal(signal_number, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        raise(signal_number);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return false;
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
}

// Every signal that would end the tool during the wait hands the terminal back
// first and still ends it by that signal. Those the tool ignores on purpose
// (a reader gone, a file-size limit) and those ignored when it started (nohup,
// a background job) stay ignored. SIGKILL cannot be caught, and the C library
// keeps the signals between 31 and SIGRTMIN for itself.
TEST(KeyWait, EveryEndingSignalRestoresTheModeAndEndsTheProcessByThatSignal) {
    struct Case {
        int signal_number;
        bool ignored_at_start;
        bool every_signal_ignored = false;
    };
    std::vector<Case> cases = {{SIGHUP, true}, {SIGINT, true}, {SIGTERM, true, true}};
    for (int number = 1; number <= SIGRTMAX; ++number) {
        if (number == SIGKILL || (number > 31 && number < SIGRTMIN)) continue;
        if (ends_process_by_default(number)) cases.push_back({number, false});
    }
    ASSERT_GE(cases.size(), 3u + 20u + 30u);
    for (const Case c : cases) {
        SCOPED_TRACE(std::to_string(c.signal_number) + " " + strsignal(c.signal_number) +
                     (c.every_signal_ignored ? ", every signal ignored at start"
                      : c.ignored_at_start   ? ", ignored at start"
                                             : ""));
        ScopedTempDir dir;
        copy_examples(dir);
        TerminalRun tool(dir.path(), {.ignored_signal = c.ignored_at_start ? c.signal_number : 0,
                                      .every_signal_ignored = c.every_signal_ignored});
        ASSERT_TRUE(tool.wait_until_raw());
        tool.signal(c.signal_number);
        if (c.ignored_at_start || c.signal_number == SIGPIPE || c.signal_number == SIGXFSZ) {
            std::this_thread::sleep_for(200ms);
            EXPECT_TRUE(tool.still_running());
            tool.press("k");
            EXPECT_TRUE(exited_with(tool.finish(), 0));
        } else {
            const int status = tool.finish();
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << status;
        }
        EXPECT_TRUE(tool.mode_restored());
    }
}

// A stop from outside hands the terminal back; the wait goes on raw afterwards.
// SIGTSTP is discarded here (the tool leads its own session, so its process
// group is orphaned) and the wait must go on raw all the same.
TEST(KeyWait, StopsFromOutsideKeepTheWaitGoing) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun tool(dir.path());
    ASSERT_TRUE(tool.wait_until_raw());
    tool.signal(SIGSTOP);
    ASSERT_TRUE(tool.wait_until_stopped());
    tool.set_line_mode();
    tool.signal(SIGCONT);
    ASSERT_TRUE(tool.wait_until_raw());
    tool.signal(SIGTSTP);
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(tool.wait_until_raw());
    EXPECT_TRUE(tool.still_running());
    tool.press("k");
    EXPECT_TRUE(exited_with(tool.finish(), 0));
    EXPECT_TRUE(tool.mode_restored());
}

// Stopped from outside, then resumed in the background by a shell that keeps no
// terminal state of its own: the shell must get its line mode back and keep it.
// The wait stops on its read until `fg`, then goes on raw.
TEST(KeyWait, AJobResumedInTheBackgroundLeavesTheTerminalToTheShell) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun shell(dir.path(), {.under_shell = true});
    ASSERT_TRUE(shell.wait_until_shown("$ "));
    shell.press(std::string(TARVUL2SEMROD_PATH) + "\n");
    ASSERT_TRUE(shell.wait_until_raw());
    const pid_t tool = shell.foreground_job();
    ASSERT_GT(tool, 0);

    kill(tool, SIGTSTP);
    ASSERT_TRUE(wait_until_process_stopped(tool));
    ASSERT_TRUE(shell.wait_until_line_mode());
    // Continued in the background, the read stops the tool again at once.
    shell.press("bg; echo shell; echo works\n");
    ASSERT_TRUE(shell.wait_until_shown("shell\r\nworks"));
    // Stopped again means its continue handler has already run: the mode is final.
    ASSERT_TRUE(wait_until_process_stopped(tool));
    EXPECT_TRUE(shell.wait_until_line_mode());

    shell.press("fg; echo status=$?\n");
    ASSERT_TRUE(shell.wait_until_raw());
    shell.press("k");
    EXPECT_TRUE(shell.wait_until_shown("status=0"));
    EXPECT_TRUE(shell.wait_until_line_mode());
    shell.press("exit\n");
    EXPECT_TRUE(exited_with(shell.finish(), 0));
}

// Left behind in the background by a shell that has gone, the tool is in an
// orphaned process group: the terminal refuses it every read (EIO) instead of
// stopping it. It must end at once, leaving the terminal to the shell.
TEST(KeyWait, AJobLeftInAnOrphanedGroupEndsAtOnce) {
    ScopedTempDir dir;
    copy_examples(dir);
    TerminalRun shell(dir.path(), {.under_shell = true});
    ASSERT_TRUE(shell.wait_until_shown("$ "));
    // The pause lets `sh` end, and the shell take the terminal back, first.
    shell.press("sh -c '(sleep 0.3; exec " + std::string(TARVUL2SEMROD_PATH) +
                ") & echo tool=$!'\n");
    ASSERT_TRUE(shell.wait_until_shown("\r\ntool="));
    ASSERT_TRUE(shell.wait_until_shown("[+] open new_semrod.dat ok"));
    const std::string& shown = shell.shown();
    const pid_t tool = std::atoi(shown.c_str() + shown.find("\r\ntool=") + 7);
    ASSERT_GT(tool, 0);
    // Gone, or a zombie nobody reaps here: either way no longer running.
    const bool ended = eventually([&] {
        const std::string text = read_text("/proc/" + std::to_string(tool) + "/stat");
        const auto state = text.rfind(')');
        return state == std::string::npos || text.substr(state + 2, 1) == "Z";
    });
    if (!ended) kill(tool, SIGKILL);  // one spinning on the refused reads must not outlive us
    EXPECT_TRUE(ended);
    EXPECT_TRUE(shell.wait_until_line_mode());
    shell.press("echo shell works\n");
    EXPECT_TRUE(shell.wait_until_shown("shell works\r\n"));
    shell.press("exit\n");
    EXPECT_TRUE(exited_with(shell.finish(), 0));
}

}  // namespace
