#include "transfer.h"

#include <algorithm>

namespace {

// Lead bytes count down by one, wrapping from 0x00 to 0xFF.
std::uint8_t lowered(std::uint8_t value) { return static_cast<std::uint8_t>(value - 1); }

void convert_short_record(const std::uint8_t* from, std::uint8_t* to) {
    std::transform(from, from + kLeadByteCount, to, lowered);
    std::copy(from + kLeadByteCount, from + kShortRecordSize, to + kLeadByteCount);
}

void convert_long_record(const std::uint8_t* from, std::uint8_t* to) {
    std::transform(from, from + kLeadByteCount, to, lowered);
    std::copy(from + kLeadByteCount, from + kLongBodyEnd, to + kLeadByteCount);
    for (const std::size_t offset : kFixedBodyOffsets) to[offset] = kFixedBodyValue;
    std::copy(kTailPattern.begin(), kTailPattern.end(), to + kLongBodyEnd);
}

}  // namespace

std::size_t minimum_source_size(unsigned entries) {
    const std::size_t count_end = kSourceLayout.entry_count + 1;
    if (entries == 0) return count_end;
    const std::size_t last_body_end =
        kSourceLayout.long_table + kLongRecordSize * (entries - 1) + kLongBodyEnd;
    return std::max(count_end, last_body_end);
}

std::size_t minimum_template_size(unsigned entries) {
    const std::size_t count_end = kTemplateLayout.entry_count + 1;
    const std::size_t long_table_end = kTemplateLayout.long_table + kLongRecordSize * entries;
    return entries == 0 ? count_end : std::max(count_end, long_table_end);
}

ImageFit check_image_fit(std::span<const std::uint8_t> source,
                         std::span<const std::uint8_t> templ) {
    if (source.size() <= kSourceLayout.entry_count) return ImageFit::source_too_short;
    const unsigned entries = source[kSourceLayout.entry_count];
    if (source.size() < minimum_source_size(entries)) return ImageFit::source_too_short;
    if (templ.size() < minimum_template_size(entries)) return ImageFit::template_too_short;
    return ImageFit::fits;
}

ImageFit transfer_records(std::span<const std::uint8_t> source, std::span<std::uint8_t> templ) {
    const ImageFit fit = check_image_fit(source, templ);
    if (fit != ImageFit::fits) return fit;

    templ[kTemplateLayout.carried_byte] = source[kSourceLayout.carried_byte];
    const unsigned entries = source[kSourceLayout.entry_count];
    templ[kTemplateLayout.entry_count] = static_cast<std::uint8_t>(entries);

    // The short tables end below the entry counts for every possible N, and no
    // written template region overlaps another, so the order of records is free.
    for (unsigned i = 0; i < entries; ++i) {
        convert_short_record(&source[kSourceLayout.short_table + kShortRecordSize * i],
                             &templ[kTemplateLayout.short_table + kShortRecordSize * i]);
        convert_long_record(&source[kSourceLayout.long_table + kLongRecordSize * i],
                            &templ[kTemplateLayout.long_table + kLongRecordSize * i]);
    }
    return ImageFit::fits;
}
