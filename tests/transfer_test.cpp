#include "transfer.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// The layouts as the data-set documentation gives them, written out here rather
// than taken from the code, so a wrong constant cannot check itself.
constexpr std::size_t kSourceCarried = 65, kSourceShort = 818, kSourceCount = 4147,
                      kSourceLong = 8242;
constexpr std::size_t kTemplateCarried = 82, kTemplateShort = 3141, kTemplateCount = 4166,
                      kTemplateLong = 8261;
const Bytes kTail = {0x00, 0x02, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF, 0xFF,
                     0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The template as it must look after carrying `entries` records from `source`.
Bytes expected_template(const Bytes& source, Bytes templ, unsigned entries) {
    templ[kTemplateCarried] = source[kSourceCarried];
    templ[kTemplateCount] = static_cast<std::uint8_t>(entries);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t s = kSourceShort + 4 * i, t = kTemplateShort + 4 * i;
        templ[t] = static_cast<std::uint8_t>(source[s] - 1);
        templ[t + 1] = static_cast<std::uint8_t>(source[s + 1] - 1);
        templ[t + 2] = source[s + 2];
        templ[t + 3] = source[s + 3];
    }
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t s = kSourceLong + 48 * i, t = kTemplateLong + 48 * i;
        templ[t] = static_cast<std::uint8_t>(source[s] - 1);
        templ[t + 1] = static_cast<std::uint8_t>(source[s + 1] - 1);
        for (std::size_t k = 2; k < 26; ++k) templ[t + k] = source[s + k];
        templ[t + 20] = 0x32;
        templ[t + 21] = 0x32;
        for (std::size_t k = 0; k < 22; ++k) templ[t + 26 + k] = kTail[k];
    }
    return templ;
}

TEST(TransferRecords, CarriesItemsAndLeavesEverythingElse) {
    for (const unsigned entries : {0u, 1u, 2u, 17u, 254u, 255u}) {
        SCOPED_TRACE("N = " + std::to_string(entries));
        const Bytes source = make_source(entries, 100);
        ASSERT_EQ(source[kSourceCount], entries);
        // A template with room for all 255 records: those at N and above must stay.
        Bytes templ = make_template(255, 100);
        const Bytes expected = expected_template(source, templ, entries);
        const Bytes source_before = source;

        ASSERT_EQ(transfer_records(source, templ), ImageFit::fits);
        EXPECT_EQ(templ, expected);
        EXPECT_EQ(source, source_before);
    }
}

TEST(TransferRecords, LeadBytesCountDownAndWrap) {
    struct Case {
        std::uint8_t from, to;
    };
    for (const Case c : {Case{0x00, 0xFF}, Case{0x01, 0x00}, Case{0x80, 0x7F}, Case{0xFF, 0xFE}}) {
        Bytes source = make_source(2);
        for (const std::size_t lead :
             {kSourceShort + 4, kSourceShort + 5, kSourceLong + 48, kSourceLong + 49}) {
            source[lead] = c.from;
        }
        Bytes templ = make_template(2);
        ASSERT_EQ(transfer_records(source, templ), ImageFit::fits);
        for (const std::size_t lead :
             {kTemplateShort + 4, kTemplateShort + 5, kTemplateLong + 48, kTemplateLong + 49}) {
            EXPECT_EQ(templ[lead], c.to) << "from " << int(c.from) << " at " << lead;
        }
    }
}

TEST(TransferRecords, FixedBodyBytesAndTailIgnoreBothInputs) {
    for (const std::uint8_t fill : {0x00, 0x32, 0xFF}) {
        Bytes source = make_source(3);
        Bytes templ = make_template(3);
        std::fill(source.begin() + kSourceLong, source.end(), fill);
        std::fill(templ.begin() + kTemplateLong, templ.end(), fill);
        ASSERT_EQ(transfer_records(source, templ), ImageFit::fits);
        for (std::size_t i = 0; i < 3; ++i) {
            const auto record = templ.begin() + static_cast<std::ptrdiff_t>(kTemplateLong + 48 * i);
            EXPECT_EQ(record[20], 0x32);
            EXPECT_EQ(record[21], 0x32);
            EXPECT_EQ(Bytes(record + 26, record + 48), kTail);
        }
    }
}

TEST(ImageFit, MinimumSizesFollowTheLayout) {
    EXPECT_EQ(minimum_source_size(0), 4148u);
    EXPECT_EQ(minimum_source_size(1), 8268u);
    EXPECT_EQ(minimum_source_size(255), 8242u + 48 * 254 + 26);
    EXPECT_EQ(minimum_template_size(0), 4167u);
    EXPECT_EQ(minimum_template_size(1), 8309u);
    EXPECT_EQ(minimum_template_size(255), 8261u + 48 * 255);
}

// One byte short of either minimum is refused without touching the template;
// the exact minimum is enough. The source is judged before the template. The
// sizes are written out, so a wrong limit in the code cannot move them along.
TEST(ImageFit, ExactMinimumFitsAndOneByteLessIsRefused) {
    struct Case {
        unsigned entries;
        std::size_t source_size, template_size;
    };
    for (const Case c : {Case{0, 4148, 4167}, Case{1, 8268, 8309}, Case{2, 8316, 8357},
                         Case{100, 13020, 13061}, Case{255, 20460, 20501}}) {
        SCOPED_TRACE("N = " + std::to_string(c.entries));
        Bytes source = patterned_bytes(c.source_size, 0x11);
        source[kSourceCount] = static_cast<std::uint8_t>(c.entries);
        const Bytes templ = patterned_bytes(c.template_size, 0x5A);
        const Bytes short_source(source.begin(), source.end() - 1);
        const Bytes short_templ(templ.begin(), templ.end() - 1);

        EXPECT_EQ(check_image_fit(source, templ), ImageFit::fits);
        EXPECT_EQ(check_image_fit(short_source, templ), ImageFit::source_too_short);
        EXPECT_EQ(check_image_fit(source, short_templ), ImageFit::template_too_short);
        EXPECT_EQ(check_image_fit(short_source, short_templ), ImageFit::source_too_short);

        Bytes changed = short_templ;
        EXPECT_EQ(transfer_records(source, changed), ImageFit::template_too_short);
        EXPECT_EQ(changed, short_templ);
    }
}

// Every cut of the inputs is either refused or converted; with exact-size
// buffers the sanitizer build turns any stray access into a failure.
TEST(ImageFit, EveryTruncationIsRefusedOrConverted) {
    const Bytes source = make_source(3);
    const Bytes templ = make_template(3);
    for (std::size_t length = 0; length <= source.size(); ++length) {
        const Bytes cut(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(length));
        Bytes target = templ;
        EXPECT_EQ(transfer_records(cut, target) == ImageFit::fits, length == source.size())
            << length;
    }
    for (std::size_t length = 0; length <= templ.size(); ++length) {
        Bytes cut(templ.begin(), templ.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(transfer_records(source, cut) == ImageFit::fits, length == templ.size())
            << length;
    }
}

}  // namespace
