// End to end: the built tool in scratch directories, with no console attached.
#include "run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "test_support.h"
#include "tool_process.h"
#include "transfer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The sample data sets' report, written out in full.
const std::string kExampleReport =
    "[+] open tarvul.dat ok \n"
    "FileSise tarvul.dat 8704 \n"
    "FileSise tarvul.dat 0x00002200 \n"
    "[+]mem ok\n"
    "fread ok retcode 8704 \n"
    "fread ok retcode 0x00002200 \n"
    "[+] open semrod.dat ok \n"
    "FileSise semrod.dat 8800 \n"
    "FileSise semrod.dat 0x00002260 \n"
    "[+]mem ok\n"
    "fread ok retcode 8800 \n"
    "fread ok retcode 0x00002260 \n"
    "[+] open new_semrod.dat ok \n";

const Bytes kEarlierOutput = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};

// An output from an earlier run is replaced whole, whatever its length was.
TEST(Run, ConvertsTheSamplesWithTheFullReport) {
    ScopedTempDir dir;
    copy_examples(dir);
    write_file(dir / kOutputFileName, patterned_bytes(100000, 3));
    const ToolResult result = run_tool(dir.path());
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, platform_text(kExampleReport));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(read_file(dir / kOutputFileName), read_file(kExamples / "new_semrod.expected"));
}

TEST(Run, ArgumentsAreIgnored) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"-v", "x", "y"}, {""}, {"tarvul.dat", "out.dat"}}) {
        ScopedTempDir dir;
        copy_examples(dir);
        const ToolResult result = run_tool(dir.path(), {.arguments = arguments});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.out, platform_text(kExampleReport));
        EXPECT_EQ(read_file(dir / kOutputFileName), read_file(kExamples / "new_semrod.expected"));
    }
}

// Each stop: the report up to its failure line, status 1, and an output file
// from an earlier run left exactly as it was.
TEST(Run, FailureStopsLeaveTheEarlierOutputAlone) {
    const Bytes source = make_source(4);
    const Bytes templ = make_template(4);
    const auto source_lines =
        loaded_lines(kSourceFileName, std::uint32_t(source.size()), std::uint32_t(source.size()));
    struct Case {
        const char* name;
        std::function<void(const ScopedTempDir&)> prepare;
        std::string report;
    };
    const std::vector<Case> cases = {
        {"source missing", [&](auto& d) { write_file(d / kTemplateFileName, templ); },
         "[-] open tarvul.dat error\n"},
        {"template missing", [&](auto& d) { write_file(d / kSourceFileName, source); },
         source_lines + "[-] open semrod.dat error\n"},
        {"source is a directory",
         [&](auto& d) {
             fs::create_directory(d / kSourceFileName);
             write_file(d / kTemplateFileName, templ);
         },
         "[-] open tarvul.dat error\n"},
        {"template is a directory",
         [&](auto& d) {
             write_file(d / kSourceFileName, source);
             fs::create_directory(d / kTemplateFileName);
         },
         source_lines + "[-] open semrod.dat error\n"},
        {"source one byte short",
         [&](auto& d) {
             write_file(d / kSourceFileName, Bytes(source.begin(), source.end() - 1));
             write_file(d / kTemplateFileName, templ);
         },
         loaded_lines(kSourceFileName, std::uint32_t(source.size() - 1),
                      std::uint32_t(source.size() - 1)) +
             loaded_lines(kTemplateFileName, std::uint32_t(templ.size()),
                          std::uint32_t(templ.size())) +
             "[-] tarvul.dat too short\n"},
        {"template one byte short",
         [&](auto& d) {
             write_file(d / kSourceFileName, source);
             write_file(d / kTemplateFileName, Bytes(templ.begin(), templ.end() - 1));
         },
         source_lines +
             loaded_lines(kTemplateFileName, std::uint32_t(templ.size() - 1),
                          std::uint32_t(templ.size() - 1)) +
             "[-] semrod.dat too short\n"},
        {"both empty",
         [&](auto& d) {
             write_file(d / kSourceFileName, {});
             write_file(d / kTemplateFileName, {});
         },
         loaded_lines(kSourceFileName, 0, 0) + loaded_lines(kTemplateFileName, 0, 0) +
             "[-] tarvul.dat too short\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        c.prepare(dir);
        write_file(dir / kOutputFileName, kEarlierOutput);
        const ToolResult result = run_tool(dir.path());
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, platform_text(c.report));
        EXPECT_EQ(read_file(dir / kOutputFileName), kEarlierOutput);
    }
}

// The report would land on top of the data when standard output is the output
// file, by any name, and the truncation would destroy an input that the output's
// name leads to; a stream that cannot be made ready must not cost the earlier
// output either. Every file is as it was, bar the report appended to stdout's.
// A link to a file not made yet is no input: the file is made through it.
TEST(Run, AnOutputThatCannotBeOpenedStopsAndStaysAsItWas) {
    const std::string report = kExampleReport.substr(0, kExampleReport.rfind("[+] open")) +
                               "[-] open new_semrod.dat error\n";
    struct Case {
        const char* name;
        ToolOptions options;
        const char* link = nullptr;       // a hard link to the output that stdout goes to
        const char* output_is = nullptr;  // the input the output's name is a link to
        bool symbolic = false;            // that link is symbolic rather than hard
        const char* dangling = nullptr;   // the output's name is a symbolic link to this new file
        bool held_open = false;  // another program reads it, sharing deletion but not writing
    };
    const std::vector<Case> cases = {
        {"standard output appends to it",
         {.stdout_target = StdoutTarget::file, .stdout_file = kOutputFileName}},
        {"standard output goes to a link to it",
         {.stdout_target = StdoutTarget::file, .stdout_file = "report.txt"},
         "report.txt"},
        {"a hard link to the template", {}, nullptr, kTemplateFileName},
        {"a symbolic link to the template", {}, nullptr, kTemplateFileName, true},
        {"a hard link to the source", {}, nullptr, kSourceFileName},
        {"a symbolic link to the source", {}, nullptr, kSourceFileName, true},
#ifndef _WIN32
        // fdopen and the clearing of O_NONBLOCK both need fcntl; neither may succeed.
        {"the stream cannot be made ready",
         {.wrapper = failing_call(kOutputFileName, "fcntl:error=EIO")}},
        {"a symbolic link to a file not made yet", {}, nullptr, nullptr, true, "made.dat"},
#else
        // A viewer or hex editor with the earlier output open, as is common on Windows.
        {"held open by another program", {}, nullptr, nullptr, false, nullptr, true},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.options.wrapper.empty() && !have_strace()) continue;
        ScopedTempDir dir;
        copy_examples(dir);
        Bytes expected = kEarlierOutput;
        if (c.dangling != nullptr) {
            fs::create_symlink(c.dangling, dir / kOutputFileName);
            expected = read_file(kExamples / "new_semrod.expected");
        } else if (c.output_is == nullptr) {
            write_file(dir / kOutputFileName, kEarlierOutput);
        } else if (c.symbolic) {
#ifdef _WIN32
            // MinGW's std::filesystem makes no symbolic links, and Wine's
            // CreateSymbolicLinkW says it made one but does not. Wine does start
            // Unix programs, though it cannot wait for them.
            const fs::path link = dir / kOutputFileName;
            std::wstring command = L"Z:\\bin\\ln -s " + fs::path(c.output_is).wstring() + L" " +
                                   link.filename().wstring();
            STARTUPINFOW startup{.cb = sizeof startup};
            PROCESS_INFORMATION ln{};
            if (CreateSymbolicLinkW(link.c_str(), fs::path(c.output_is).c_str(),
                                    SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE),
                !fs::exists(link) &&
                    CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   dir.path().c_str(), &startup, &ln)) {
                for (int tries = 0; tries < 100 && !fs::exists(link); ++tries) Sleep(50);
                CloseHandle(ln.hThread);
                CloseHandle(ln.hProcess);
            }
            ASSERT_TRUE(fs::exists(link)) << "no symbolic link could be made";
#else
            fs::create_symlink(c.output_is, dir / kOutputFileName);
#endif
            expected = read_file(kExamples / c.output_is);
        } else {
            fs::create_hard_link(dir / c.output_is, dir / kOutputFileName);
            expected = read_file(kExamples / c.output_is);
        }
        if (c.link) fs::create_hard_link(dir / kOutputFileName, dir / c.link);
#ifdef _WIN32
        const HANDLE holder = c.held_open
                                  ? CreateFileW((dir / kOutputFileName).c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                  : INVALID_HANDLE_VALUE;
        ASSERT_EQ(c.held_open, holder != INVALID_HANDLE_VALUE);
#endif
        const ToolResult result = run_tool(dir.path(), c.options);
#ifdef _WIN32
        if (c.held_open) CloseHandle(holder);
#endif
        EXPECT_EQ(result.exit_status, c.dangling ? 0 : 1);
        const bool report_in_output = c.options.stdout_target == StdoutTarget::file;
        EXPECT_EQ(result.out,
                  report_in_output ? "" : platform_text(c.dangling ? kExampleReport : report));
        if (report_in_output) {
            const std::string text = platform_text(report);
            expected.insert(expected.end(), text.begin(), text.end());
        }
        EXPECT_EQ(read_file(dir / kOutputFileName), expected);
        for (const char* input : {kSourceFileName, kTemplateFileName}) {
            EXPECT_EQ(read_file(dir / input), read_file(kExamples / input)) << input;
        }
#ifdef _WIN32
        // Wine loses sight of a Unix link whose target is gone, and the folder's
        // removal would then never end: the link goes first.
        fs::remove(dir / kOutputFileName);
#else
        EXPECT_EQ(fs::is_symlink(dir / kOutputFileName), c.symbolic);
#endif
    }
    ScopedTempDir dir;
    copy_examples(dir);
    fs::create_directory(dir / kOutputFileName);
    const ToolResult result = run_tool(dir.path());
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, platform_text(report));
}

// Files past the 32-bit signed range, and files whose size cannot be had at
// all, measure as 0xFFFFFFFF and are refused before any memory is asked for;
// sparse files cost no disk.
TEST(Run, HugeInputsAreRefusedAtTheAllocation) {
    struct Case {
        const char* name;
        std::uintmax_t size;
        std::vector<std::string> wrapper;
    };
    const std::vector<Case> cases = {
        {"2 GiB", std::uintmax_t{1} << 31, {}},
        {"4 GiB and a byte", (std::uintmax_t{1} << 32) + 1, {}},
#ifndef _WIN32
        // The measuring seek to the end is the first seek.
        {"the seek to the end fails", 8704,
         failing_call(kSourceFileName, "lseek:error=EIO:when=1")},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.wrapper.empty() && !have_strace()) continue;
        ScopedTempDir dir;
        write_file(dir / kSourceFileName, {});
        fs::resize_file(dir / kSourceFileName, c.size);
        write_file(dir / kTemplateFileName, make_template(0));
        const ToolResult result = run_tool(dir.path(), {.wrapper = c.wrapper});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out,
                  platform_text("[+] open tarvul.dat ok \nFileSise tarvul.dat 4294967295 \n"
                                "FileSise tarvul.dat 0xFFFFFFFF \n\n Error tarvul.dat \n"));
    }
}

#ifndef _WIN32

TEST(Run, InputsThatAreNotRegularFilesCannotBeOpened) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
    };
    const std::vector<Case> cases = {
        {"FIFO with no writer", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
        {"character device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
        {"dangling link", [](const fs::path& p) { fs::create_symlink("nowhere.dat", p); }},
        {"socket",
         [](const fs::path& p) {
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             p.string().copy(address.sun_path, sizeof address.sun_path - 1);
             ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             close(fd);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        c.make(dir / kSourceFileName);
        write_file(dir / kTemplateFileName, make_template(1));
        const ToolResult result = run_tool(dir.path());
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, "[-] open tarvul.dat error\n");
        EXPECT_FALSE(fs::exists(dir / kOutputFileName));
    }
}

// A write the system refuses, whether the write itself or only the close sees
// it, is reported instead of passing for success.
TEST(Run, AFailedWriteOfTheOutputIsReported) {
    struct Case {
        const char* name;
        Bytes source, templ;
        bool to_full_device;
        unsigned long long file_size_limit;
    };
    const Bytes small_source = make_source(0), small_template = make_template(0);
    ASSERT_EQ(small_template.size(), 4167u);
    const std::vector<Case> cases = {
        {"full device", read_file(kExamples / kSourceFileName),
         read_file(kExamples / kTemplateFileName), true, 0},
        {"size limit hit by the write", read_file(kExamples / kSourceFileName),
         read_file(kExamples / kTemplateFileName), false, 4200},
        // 4096 bytes go out in the write; the last 71 only when the file is closed.
        {"size limit hit at the close", small_source, small_template, false, 4100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        write_file(dir / kSourceFileName, c.source);
        write_file(dir / kTemplateFileName, c.templ);
        if (c.to_full_device) fs::create_symlink("/dev/full", dir / kOutputFileName);
        const ToolResult result = run_tool(dir.path(), {.file_size_limit = c.file_size_limit});
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.out, loaded_lines(kSourceFileName, std::uint32_t(c.source.size()),
                                           std::uint32_t(c.source.size())) +
                                  loaded_lines(kTemplateFileName, std::uint32_t(c.templ.size()),
                                               std::uint32_t(c.templ.size())) +
                                  "[+] open new_semrod.dat ok \n[-] write new_semrod.dat error\n");
    }
}

// A read the disk fails is no short read: the report shows what arrived, then
// the run stops before the output is touched.
TEST(Run, AReadErrorStopsTheRun) {
    if (!have_strace()) GTEST_SKIP() << "needs strace";
    struct Case {
        const char* failing;
        const char* injection;
    };
    // The measuring seeks to the end first; the second seek is the one back to the start.
    for (const Case c :
         {Case{kSourceFileName, "read:error=EIO"}, Case{kTemplateFileName, "read:error=EIO"},
          Case{kSourceFileName, "lseek:error=EIO:when=2"}}) {
        SCOPED_TRACE(std::string(c.failing) + ": " + c.injection);
        ScopedTempDir dir;
        copy_examples(dir);
        write_file(dir / kOutputFileName, kEarlierOutput);
        const ToolResult result =
            run_tool(dir.path(), {.wrapper = failing_call(c.failing, c.injection)});
        EXPECT_EQ(result.exit_status, 1);
        const bool source_fails = c.failing == std::string(kSourceFileName);
        EXPECT_EQ(result.out, (source_fails ? "" : loaded_lines(kSourceFileName, 8704, 8704)) +
                                  loaded_lines(c.failing, source_fails ? 8704 : 8800, 0) +
                                  "[-] read " + c.failing + " error\n");
        EXPECT_EQ(read_file(dir / kOutputFileName), kEarlierOutput);
    }
}

// Every byte reaches an output that is a FIFO, however slowly it is read: the
// writes block as they should instead of failing on a full pipe.
TEST(Run, AnOutputFifoWithASlowReaderGetsEveryByte) {
    ScopedTempDir dir;
    write_file(dir / kSourceFileName, make_source(3));
    write_file(dir / kTemplateFileName, patterned_bytes(256 * 1024, 1));
    ASSERT_EQ(run_tool(dir.path()).exit_status, 0);
    const Bytes expected = read_file(dir / kOutputFileName);
    fs::remove(dir / kOutputFileName);
    ASSERT_EQ(mkfifo((dir / kOutputFileName).c_str(), 0644), 0);

    const int reader = open((dir / kOutputFileName).c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::atomic<bool> done{false};
    ToolResult result;
    std::thread tool([&] {
        result = run_tool(dir.path());
        done = true;
    });
    Bytes received;
    for (bool last_pass = false;;) {
        std::uint8_t chunk[1024];
        const ssize_t count = read(reader, chunk, sizeof chunk);
        if (count > 0) received.insert(received.end(), chunk, chunk + count);
        if (count <= 0 && last_pass) break;
        if (count <= 0) last_pass = done;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    tool.join();
    close(reader);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(received, expected);
}

TEST(Run, AnAllocationTheSystemRefusesStopsCleanly) {
#ifdef TARVUL_SANITIZED
    GTEST_SKIP() << "the sanitizer runtime needs more address space than the limit allows";
#endif
    ScopedTempDir dir;
    write_file(dir / kSourceFileName, {});
    fs::resize_file(dir / kSourceFileName, std::uintmax_t{1} << 30);
    write_file(dir / kTemplateFileName, make_template(0));
    const ToolResult result = run_tool(dir.path(), {.address_space_limit = 256ull << 20});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out,
              "[+] open tarvul.dat ok \nFileSise tarvul.dat 1073741824 \n"
              "FileSise tarvul.dat 0x40000000 \n\n Error tarvul.dat \n");
}

// A report nobody can read costs the report, never the conversion or the status.
TEST(Run, AReportThatCannotBeWrittenChangesNothingElse) {
    struct Case {
        const char* name;
        ToolOptions options;
        bool note_on_stderr;
    };
    const std::vector<Case> cases = {
        {"stdout closed", {.closed_descriptors = {1}}, false},
        {"all standard streams closed", {.closed_descriptors = {0, 1, 2}}, false},
        {"reader gone", {.stdout_target = StdoutTarget::reader_gone}, true},
        {"disk full", {.stdout_target = StdoutTarget::file, .stdout_file = "/dev/full"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedTempDir dir;
        copy_examples(dir);
        const ToolResult result = run_tool(dir.path(), c.options);
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(read_file(dir / kOutputFileName), read_file(kExamples / "new_semrod.expected"));
        EXPECT_EQ(result.err.empty(), !c.note_on_stderr) << result.err;
    }
}

// A report line lost earlier (the text dropped, the error flag set) leaves the
// final flush nothing to fail on; the error flag alone must still be noticed.
TEST(Run, AReportLostBeforeTheFinalFlushIsNoted) {
    EXPECT_EXIT(
        {
            dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
            std::fputs("lost\n", stdout);
            std::fflush(stdout);
            dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
            end_run(kExitComplete);
        },
        testing::ExitedWithCode(kExitComplete), "report could not be written");
}

#endif  // !_WIN32

}  // namespace
