// The byte layouts of the source and template data sets, as far as this tool
// uses them, and the carrying of records from one layout to the other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Where the four carried items lie in one data set (zero-based file offsets).
struct DataSetLayout {
    std::size_t carried_byte;
    std::size_t short_table;  // N short records, back to back
    std::size_t entry_count;  // N, one unsigned byte
    std::size_t long_table;   // N long records, back to back
};

inline constexpr DataSetLayout kSourceLayout{0x41, 0x332, 0x1033, 0x2032};
inline constexpr DataSetLayout kTemplateLayout{0x52, 0xC45, 0x1046, 0x2045};

inline constexpr std::size_t kShortRecordSize = 4;
inline constexpr std::size_t kLongRecordSize = 48;

// Both record kinds start with two lead bytes, each lowered by one on the way.
inline constexpr std::size_t kLeadByteCount = 2;

// Long records: bytes 2..25 are the body, 26..47 the tail. Two body bytes are
// set to a fixed value and the tail is replaced by a fixed pattern.
inline constexpr std::size_t kLongBodyEnd = 26;
inline constexpr std::size_t kFixedBodyOffsets[] = {20, 21};
inline constexpr std::uint8_t kFixedBodyValue = 0x32;
inline constexpr std::array<std::uint8_t, kLongRecordSize - kLongBodyEnd> kTailPattern{
    0x00, 0x02, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF, 0xFF,
    0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The smallest source image that holds everything read for `entries` records:
// the entry count itself, and the lead and body bytes of the last long record
// (its tail is never read).
std::size_t minimum_source_size(unsigned entries);

// The smallest template image that holds everything written for `entries`
// records: the entry count and the whole of the last long record.
std::size_t minimum_template_size(unsigned entries);

enum class ImageFit { fits, source_too_short, template_too_short };

// Says whether both images are long enough for the entry count the source holds.
// The source is judged first: its count decides what the template must hold.
ImageFit check_image_fit(std::span<const std::uint8_t> source, std::span<const std::uint8_t> templ);

// Carries the carried byte, the entry count N and N short and N long records
// from `source` into `templ`, converting each record on the way. Every other
// template byte keeps its value; `source` is only read. Returns what
// check_image_fit says of the images, and changes nothing unless they fit.
ImageFit transfer_records(std::span<const std::uint8_t> source, std::span<std::uint8_t> templ);
