// Every line the tool writes to its report, byte for byte: printf formats whose
// %s is a file name. The blank before some line feeds is part of a format that
// people and scripts already read, so it stays.
#pragma once

namespace report_line {
inline constexpr char kOpenFailed[] = "[-] open %s error\n";
inline constexpr char kOpened[] = "[+] open %s ok \n";
inline constexpr char kSizeDecimal[] = "FileSise %s %u \n";
inline constexpr char kSizeHex[] = "FileSise %s 0x%08lX \n";
inline constexpr char kAllocationFailed[] = "\n Error %s \n";
inline constexpr char kAllocated[] = "[+]mem ok\n";
inline constexpr char kReadDecimal[] = "fread ok retcode %u \n";
inline constexpr char kReadHex[] = "fread ok retcode 0x%08lX \n";
inline constexpr char kReadFailed[] = "[-] read %s error\n";
inline constexpr char kTooShort[] = "[-] %s too short\n";
inline constexpr char kWriteFailed[] = "[-] write %s error\n";
}  // namespace report_line

// The files a report line names: both inputs, the output, all three, or none.
enum class NamedFiles { inputs, output, all, none };

struct ReportLine {
    const char* format;
    NamedFiles names;
};

// Every report line the tool can write, for whoever must describe them all.
inline constexpr ReportLine kReportLines[] = {
    {report_line::kOpenFailed, NamedFiles::all},
    {report_line::kOpened, NamedFiles::all},
    {report_line::kSizeDecimal, NamedFiles::inputs},
    {report_line::kSizeHex, NamedFiles::inputs},
    {report_line::kAllocationFailed, NamedFiles::inputs},
    {report_line::kAllocated, NamedFiles::none},
    {report_line::kReadDecimal, NamedFiles::none},
    {report_line::kReadHex, NamedFiles::none},
    {report_line::kReadFailed, NamedFiles::inputs},
    {report_line::kTooShort, NamedFiles::inputs},
    {report_line::kWriteFailed, NamedFiles::output},
};
