#include "convert/RecordEncoder.h"

#include "convert/LineEndScanner.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

std::string Encode(std::string_view bytes, std::size_t pieceSize) {
    RecordEncoder encoder;
    RecordOutput out;
    for (std::size_t i = 0; i < bytes.size(); i += pieceSize) {
        encoder.Feed(bytes.substr(i, pieceSize), out);
    }
    encoder.Finish(out);
    return out.Joined();
}

// The mailbox writer reads files in large chunks; a line end, a quote prefix or
// the envelope line may straddle any chunk boundary and must come out the same.
TEST(RecordEncoderTest, OutputDoesNotDependOnHowTheInputIsCut) {
    const std::string samples[] = {
        "From env\r\n  A: b\r\n\r\n>>From x\rFrom y\n\r\nFro\r\n>Fro\rtail",
        "   \n\n\r\r\n\r>>>\nFrom\n",
        "From x",
        "Fr",
        "From \t :old field\nFrom   envelope?\n",
        "From   \r\nx",
        std::string("A: b\r\n\r\n") + std::string(300, '>') + "From z\r\n",
    };
    for (const auto& sample : samples) {
        const std::string whole = Encode(sample, sample.size() + 1);
        for (std::size_t piece = 1; piece <= 7; ++piece) {
            EXPECT_EQ(Encode(sample, piece), whole) << "pieces of " << piece;
        }
    }
    EXPECT_EQ(Encode(samples[0], 1000),
              "A: b\r\n\r\n>>>From x\r\n>From y\r\n\r\nFro\r\n>Fro\r\ntail\r\n\r\n");
    EXPECT_EQ(Encode(samples[4], 1000), ">From \t :old field\r\n>From   envelope?\r\n\r\n");
    EXPECT_EQ(Encode(samples[5], 1000), "x\r\n\r\n");
    EXPECT_EQ(Encode(samples[6], 1000), "A: b\r\n\r\n>" + std::string(300, '>') + "From z\r\n\r\n");
}

// Long inputs take the wide scan over runs of plain lines; byte by byte they
// never do, so the two must agree wherever the odd lines fall against the
// 64-byte blocks the scan looks at.
TEST(RecordEncoderTest, WideScanAgreesWithByteByByte) {
    const std::string_view lines[] = {
        "plain text line of some length, ended the usual way\r\n",
        "From here on\r\n",
        ">From quoted\r\n",
        "Fro not quite\r\n",
        "lone LF\n",
        "lone CR\r",
        "\r\n",
        "x\r\n",
        "a line longer than a block, so that its end falls in the next one: 0123456789\r\n",
    };
    std::string input = "Subject: mixed\r\n\r\n";
    unsigned state = 7;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245 + 12345;
        // Mostly plain lines, as in real mail; now and then an odd one.
        const unsigned pick = (state >> 16) % 40;
        input += lines[pick < 9 ? pick : pick % 2 == 0 ? 0 : 8];
    }
    const std::string byteByByte = Encode(input, 1);
    using Width = LineEndScanner::Width;
    for (const Width width : {Width::Portable, Width::Sse2, Width::Avx2}) {
        if (!LineEndScanner::Use(width)) {
            continue; // not on this processor
        }
        const int named = static_cast<int>(width);
        for (const std::size_t piece : {63, 64, 65, 1000, 4096}) {
            EXPECT_EQ(Encode(input, piece), byteByByte)
                << "width " << named << ", pieces " << piece;
        }
        for (std::size_t shift = 1; shift < 64; shift += 9) {
            const std::string shifted = std::string(shift, 'p') + "\r\n" + input;
            EXPECT_EQ(Encode(shifted, shifted.size()), Encode(shifted, 1))
                << "width " << named << ", shift " << shift;
        }
    }
    LineEndScanner::UseWidest();
}

} // namespace
} // namespace marrowgate::test
