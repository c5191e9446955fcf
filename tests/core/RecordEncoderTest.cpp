#include "convert/RecordEncoder.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

std::string Encode(std::string_view bytes, std::size_t pieceSize) {
    RecordEncoder encoder;
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += pieceSize) {
        encoder.Feed(bytes.substr(i, pieceSize), out);
    }
    encoder.Finish(out);
    return out;
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

} // namespace
} // namespace marrowgate::test
