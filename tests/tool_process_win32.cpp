#include <windows.h>

#include "test_support.h"
#include "tool_process.h"

namespace {

// A hung tool fails the test instead of hanging the suite.
constexpr DWORD kTimeLimitMs = 60000;

// Quotes one argument the way the C runtime splits a command line back up.
std::wstring quoted(const std::wstring& argument) {
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

HANDLE inheritable_file(const std::filesystem::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ToolResult run_tool(const std::filesystem::path& directory, const ToolOptions& options) {
    ScopedTempDir capture;
    const std::filesystem::path tool = TARVUL2SEMROD_PATH;
    std::wstring command_line = quoted(tool.wstring());
    for (const std::string& argument : options.arguments) {
        command_line += L" " + quoted(std::filesystem::path(argument).wstring());
    }

    const HANDLE in = inheritable_file(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out =
        options.stdout_target == StdoutTarget::file
            ? inheritable_file(directory / options.stdout_file, FILE_APPEND_DATA, OPEN_ALWAYS)
            : inheritable_file(capture / "out", GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = inheritable_file(capture / "err", GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // No console for the tool: its key wait must return at once.
    const BOOL started =
        CreateProcessW(tool.c_str(), command_line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                       nullptr, directory.c_str(), &startup, &process);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);

    ToolResult result;
    if (!started) return result;
    if (WaitForSingleObject(process.hProcess, kTimeLimitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, INFINITE);
    } else {
        DWORD exit_code = 0;
        GetExitCodeProcess(process.hProcess, &exit_code);
        result.exit_status = static_cast<int>(exit_code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.out = read_text(capture / "out");
    result.err = read_text(capture / "err");
    return result;
}
