#include "file_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_support.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// A report stream the test can read back.
class CapturedReport {
public:
    CapturedReport() : file_(std::tmpfile()) {}
    ~CapturedReport() { std::fclose(file_); }
    std::FILE* stream() { return file_; }
    std::string text() {
        std::fflush(file_);
        std::string text;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
        return text;
    }

private:
    std::FILE* file_;
};

TEST(ImageSize, PositionsBeyondThe32BitSignedRangeMeasureAsMinusOne) {
    struct Case {
        std::int64_t position;
        std::uint32_t size;
    };
    for (const Case c :
         {Case{0, 0}, Case{20000, 20000}, Case{0x7FFFFFFF, 0x7FFFFFFF},
          Case{0x80000000, 0xFFFFFFFF}, Case{0xFFFFFFFF, 0xFFFFFFFF}, Case{0x100000000, 0xFFFFFFFF},
          Case{0x100000001, 0xFFFFFFFF}, Case{-1, 0xFFFFFFFF}}) {
        EXPECT_EQ(image_size_from_position(c.position), c.size) << c.position;
    }
}

TEST(LoadFileImage, EmptyFileGivesAnEmptyImage) {
    ScopedTempDir dir;
    write_file(dir / "empty.dat", {});
    CapturedReport report;
    FileImage image;

    ASSERT_TRUE(load_file_image((dir / "empty.dat").string().c_str(), image, report.stream()).ok());
    EXPECT_EQ(image.length, 0u);
    EXPECT_NE(image.bytes, nullptr);
    EXPECT_NE(report.text().find(" 0 \nFileSise "), std::string::npos);
    EXPECT_NE(report.text().find("[+]mem ok\nfread ok retcode 0 \nfread ok retcode 0x00000000 \n"),
              std::string::npos);
}

// A stream that cannot go back to the start: bytes waiting in a pipe.
std::FILE* unseekable_stream(const std::string& content) {
    int ends[2];
#ifdef _WIN32
    if (_pipe(ends, 64, _O_BINARY) != 0) return nullptr;
    _write(ends[1], content.data(), static_cast<unsigned>(content.size()));
    _close(ends[1]);
    return _fdopen(ends[0], "rb");
#else
    if (pipe(ends) != 0) return nullptr;
    if (write(ends[1], content.data(), content.size()) < 0) return nullptr;
    close(ends[1]);
    return fdopen(ends[0], "rb");
#endif
}

// Whatever the read leaves is 0xFF, never stale bytes; a stream that cannot be
// read from its start is a failed read of nothing, not whatever it holds next.
TEST(ReadWholeFile, FillsWhatTheReadLeftAndTellsFailures) {
    struct Case {
        const char* name;
        std::FILE* file;
        std::uint32_t delivered;
        bool failed;
    };
    std::FILE* short_file = std::tmpfile();
    if (short_file != nullptr) std::fputs("0123456789", short_file);
    for (const Case& c :
         {Case{"short file", short_file, 10, false},
          Case{"no way back to the start", unseekable_stream("0123456789"), 0, true}}) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.file, nullptr);
        FileImage image{.bytes = std::make_unique<std::uint8_t[]>(20),
                        .length = 20};  // zeroed: stale bytes

        const FileRead read = read_whole_file(c.file, image);
        EXPECT_EQ(read.delivered, c.delivered);
        EXPECT_EQ(read.failed, c.failed);
        EXPECT_EQ(std::string(image.bytes.get(), image.bytes.get() + c.delivered),
                  std::string("0123456789").substr(0, c.delivered));
        for (std::size_t i = c.delivered; i < 20; ++i) EXPECT_EQ(image.bytes[i], 0xFF) << i;
        std::fclose(c.file);
    }
}

TEST(SaveFileImage, ReplacesALongerFileWithExactlyTheImage) {
    ScopedTempDir dir;
    write_file(dir / "out.dat", patterned_bytes(5000, 9));
    const Bytes content = patterned_bytes(123, 4);
    FileImage image{.bytes = std::make_unique<std::uint8_t[]>(content.size()), .length = 123};
    std::copy(content.begin(), content.end(), image.bytes.get());
    CapturedReport report;

    ASSERT_TRUE(
        save_file_image((dir / "out.dat").string().c_str(), image, {}, report.stream()).ok());
    EXPECT_EQ(read_file(dir / "out.dat"), content);
    EXPECT_EQ(report.text(), "[+] open " + (dir / "out.dat").string() + " ok \n");
}

}  // namespace
