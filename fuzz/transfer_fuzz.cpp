// Fuzz target: the size check and the record transfer on two images cut from one
// input. Layout of an input: source length and template length (16 bits each,
// little-endian), then bytes laid across both images end to end, repeated as
// often as needed, so short inputs still reach every size the layout cares about.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "transfer.h"

namespace {

constexpr std::size_t kHeaderSize = 4;
// Past the largest size the layout can ask for (N = 255) nothing new happens,
// so larger lengths wrap around instead of slowing every run down.
constexpr std::size_t kLargestImage = 24 * 1024;

std::size_t read_le16(const std::uint8_t* bytes) {
    return static_cast<std::size_t>(bytes[0] | (bytes[1] << 8)) % (kLargestImage + 1);
}

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) return 0;
    const std::size_t source_size = read_le16(data);
    const std::size_t template_size = read_le16(data + 2);
    const std::uint8_t* body = data + kHeaderSize;
    const std::size_t body_size = size - kHeaderSize;

    // Exact-size buffers, so the sanitizers see any access past either image.
    std::vector<std::uint8_t> laid_out;
    laid_out.reserve(source_size + template_size + body_size);
    while (body_size != 0 && laid_out.size() < source_size + template_size) {
        laid_out.insert(laid_out.end(), body, body + body_size);
    }
    laid_out.resize(source_size + template_size);
    const auto split = laid_out.begin() + static_cast<std::ptrdiff_t>(source_size);
    std::vector<std::uint8_t> source(laid_out.begin(), split), templ(split, laid_out.end());
    const std::vector<std::uint8_t> source_before = source, template_before = templ;

    const ImageFit fit = check_image_fit(source, templ);
    const bool fits = fit == ImageFit::fits;
    require(transfer_records(source, templ) == fit);
    require(source == source_before);
    if (!fits) {
        require(templ == template_before);
        return 0;
    }

    // Outside the written regions the template keeps every byte.
    const unsigned entries = source[kSourceLayout.entry_count];
    require(templ[kTemplateLayout.entry_count] == entries);
    std::vector<bool> written(template_size, false);
    written[kTemplateLayout.carried_byte] = written[kTemplateLayout.entry_count] = true;
    for (std::size_t i = 0; i < kShortRecordSize * entries; ++i)
        written[kTemplateLayout.short_table + i] = true;
    for (std::size_t i = 0; i < kLongRecordSize * entries; ++i)
        written[kTemplateLayout.long_table + i] = true;
    for (std::size_t i = 0; i < template_size; ++i)
        require(written[i] || templ[i] == template_before[i]);
    return 0;
}
