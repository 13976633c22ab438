#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tool_process.h"

namespace {

// A hung tool fails the test instead of hanging the suite.
constexpr auto kTimeLimit = std::chrono::seconds(60);

[[noreturn]] void start_child(const std::filesystem::path& directory, const ToolOptions& options,
                              int out_fd, int err_fd) {
    setsid();  // no controlling terminal: the key wait must return at once
    const int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
    dup2(null_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    if (options.address_space_limit != 0) {
        const rlimit limit{options.address_space_limit, options.address_space_limit};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (options.file_size_limit != 0) {
        const rlimit limit{options.file_size_limit, options.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (chdir(directory.c_str()) != 0) _exit(126);
    for (const int fd : options.closed_descriptors) close(fd);
    std::vector<char*> argv;
    for (const std::string& word : options.wrapper) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(const_cast<char*>(TARVUL2SEMROD_PATH));
    for (const std::string& argument : options.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

}  // namespace

ToolResult run_tool(const std::filesystem::path& directory, const ToolOptions& options) {
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return {};
    int child_out = out_pipe[1];
    if (options.stdout_target == StdoutTarget::reader_gone) close(out_pipe[0]);
    if (options.stdout_target == StdoutTarget::file)
        child_out = open((directory / options.stdout_file).c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);

    const pid_t pid = fork();
    if (pid == 0) start_child(directory, options, child_out, err_pipe[1]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (child_out != out_pipe[1]) close(child_out);

    ToolResult result;
    std::vector<pollfd> open_pipes{{err_pipe[0], POLLIN, 0}};
    if (options.stdout_target != StdoutTarget::reader_gone)
        open_pipes.push_back({out_pipe[0], POLLIN, 0});
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    while (!open_pipes.empty() && std::chrono::steady_clock::now() < deadline) {
        if (poll(open_pipes.data(), open_pipes.size(), 1000) <= 0) continue;
        for (auto it = open_pipes.begin(); it != open_pipes.end();) {
            char buffer[4096];
            const ssize_t count = it->revents != 0 ? read(it->fd, buffer, sizeof buffer) : -2;
            if (count > 0) (it->fd == err_pipe[0] ? result.err : result.out).append(buffer, count);
            if (count == 0 || count == -1) {
                close(it->fd);
                it = open_pipes.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (!open_pipes.empty()) kill(pid, SIGKILL);
    for (const pollfd& still_open : open_pipes) close(still_open.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    return result;
}
