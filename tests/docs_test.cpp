// The documents that describe the report must show every line the tool can
// write: the behaviour reference (the man page) and the users' README.txt. The
// lines come from the tool's own table, so a line added there must be
// described too.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "report_lines.h"
#include "run.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDocs = TARVUL2SEMROD_DOCS;

// A report line as a pattern for a document: without its leading line break and
// trailing blank, with the file name filled in and any number matching.
std::regex line_pattern(const std::string& format, const std::string& name) {
    std::string text = format;
    while (!text.empty() && (text.front() == '\n' || text.front() == ' ')) text.erase(0, 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::string pattern;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%s") == 0) {
            pattern += std::regex_replace(name, std::regex(R"([.])"), R"(\.)");
            ++i;
        } else if (text.compare(i, 2, "%u") == 0) {
            pattern += "[0-9]+";
            ++i;
        } else if (text.compare(i, 5, "%08lX") == 0) {
            pattern += "[0-9A-F]{8}";
            i += 4;
        } else if (std::string(R"(\^$.|?*+()[]{})").find(text[i]) != std::string::npos) {
            pattern += std::string("\\") + text[i];
        } else {
            pattern += text[i];
        }
    }
    return std::regex(pattern);
}

// The text a reader sees, near enough: roff's escapes for a minus, a zero-width
// break and a change of font taken out.
std::string readable(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\&)"), "");
    return std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
}

TEST(Docs, EveryReportLineIsDescribed) {
    for (const char* document : {"tarvul2semrod.1", "README.txt"}) {
        const std::string text = readable(read_text(kDocs / document));
        ASSERT_FALSE(text.empty()) << document;
        for (const ReportLine& line : kReportLines) {
            std::vector<std::string> names;
            if (line.names == NamedFiles::none) names = {""};
            if (line.names == NamedFiles::inputs || line.names == NamedFiles::all) {
                names.insert(names.end(), {kSourceFileName, kTemplateFileName});
            }
            if (line.names == NamedFiles::output || line.names == NamedFiles::all) {
                names.push_back(kOutputFileName);
            }
            for (const std::string& name : names) {
                EXPECT_TRUE(std::regex_search(text, line_pattern(line.format, name)))
                    << document << " does not show the line \""
                    << std::regex_replace(line.format, std::regex("\n"), "\\n") << "\" for "
                    << (name.empty() ? "any file" : name);
            }
        }
    }
}

}  // namespace
