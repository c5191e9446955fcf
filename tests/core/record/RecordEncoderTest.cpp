#include "record/RecordEncoder.h"

#include "message/LineEndScanner.h"
#include "support/RecordPieces.h"

#include <gtest/gtest.h>

namespace marrowgate::test {
namespace {

// The same record with LF line ends: CRs reach a record only in line ends.
std::string WithLf(std::string_view crLf) {
    std::string lf;
    for (const char c : crLf) {
        if (c != '\r') {
            lf.push_back(c);
        }
    }
    return lf;
}

// Where a message starts and how its record ends. Each record is given with
// CR LF line ends; with LF line ends it must be the same less its CRs. The
// mailbox writer reads files in large chunks: a line end, a quote prefix or
// the envelope line may straddle any chunk boundary and must come out the same.
TEST(RecordEncoderTest, MessageStartAndEnd) {
    const std::string longFirstLine = "From a " + std::string(1000, 'b');
    const std::string quotes(300, '>');
    const std::pair<std::string, std::string> cases[] = {
        // Blank lines at the top go, with the blanks that start the first line.
        {"   \r\n\t \r\n\r\n  Subject: s\r\n\r\nbody", "Subject: s\r\n\r\nbody\r\n\r\n"},
        {"\t A: b\n  c\n\n  x  ", "A: b\r\n  c\r\n\r\n  x  \r\n\r\n"},
        {"   \r\n  A: b \r\n\r\n  x  ", "A: b \r\n\r\n  x  \r\n\r\n"},
        {"   \n\n\r\r\n\r>>>\nFrom\n", ">>>\r\nFrom\r\n\r\n\r\n"},
        {"\n\r\r\n", "\r\n"},
        {"", "\r\n"},
        // Envelope lines of mbox tools, as found in real files, go...
        {"From joe@example.com Mon Jul  5 14:03:09 2010\nA: b\n\nx", "A: b\r\n\r\nx\r\n\r\n"},
        {"From mrc@CAC.Washington.EDU Mon Feb  8 02:53:47 PST 1993\rA: b\r\r", "A: b\r\n\r\n\r\n"},
        {"From MAILER-DAEMON  Tue Jul  7 22:47:39 2009\r\nA: b\r\n\r\n", "A: b\r\n\r\n\r\n"},
        {"From x@y Tue, 6 Jul 2010 01:03:09 +1100\nA: b\n\n", "A: b\r\n\r\n\r\n"},
        {"From MAILER-DAEMON\nA: b\n\n", "A: b\r\n\r\n\r\n"},
        {"From  Mon Jul 05 14:03:09 2010\nA: b\n\n", "A: b\r\n\r\n\r\n"},
        {"From x", "\r\n"},
        // ... with the blanks that start the next line, and after blank lines
        // too, and blank lines after them go as well.
        {"From x\r\n  A: b\r\n\r\n", "A: b\r\n\r\n\r\n"},
        {"\n  From a@b Sat Jan  3 01:05:34 1996\n \n\n  A: b\n\nx", "A: b\r\n\r\nx\r\n\r\n"},
        // Any other "From " line is text, quoted; so is a second envelope line,
        // one that only leading spaces hid, and one too long for an envelope.
        {"From now on, send invoices to me.\nThanks\n\n",
         ">From now on, send invoices to me.\r\nThanks\r\n\r\n\r\n"},
        {"From joe Mon Jul  5 2010\n\nx", ">From joe Mon Jul  5 2010\r\n\r\nx\r\n\r\n"},
        {"From  : ann@x.org\nA: b\n\n", ">From  : ann@x.org\r\nA: b\r\n\r\n\r\n"},
        {"From \t :old field\nFrom   envelope?\n",
         ">From \t :old field\r\n>From   envelope?\r\n\r\n\r\n"},
        {"From \n\n", ">From \r\n\r\n\r\n"},
        {"From   \r\nx", ">From   \r\nx\r\n\r\n\r\n"},
        {"From a Mon Jul  5 14:03:09 2010\nFrom b Mon Jul  5 14:03:09 2010\n\nx",
         ">From b Mon Jul  5 14:03:09 2010\r\n\r\nx\r\n\r\n"},
        {"  From a b\n\nc", ">From a b\r\n\r\nc\r\n\r\n"},
        {"\r\n \t\r\n\tFrom now on\r\r\n\n", ">From now on\r\n\r\n\r\n\r\n"},
        {longFirstLine + "\n\n", ">" + longFirstLine + "\r\n\r\n\r\n"},
        // Inside the message, one more ">" before "From " after any number of them.
        {"A: b\n\nFrom x\n>From y\n>>From z\nFromage\n>From\n> From w\n",
         "A: b\r\n\r\n>From x\r\n>>From y\r\n>>>From z\r\nFromage\r\n>From\r\n> From w\r\n\r\n"},
        {"A: b\rFrom c\r\r", "A: b\r\n>From c\r\n\r\n\r\n"},
        {"A: b\r\n\r\n" + quotes + "From z\r\n", "A: b\r\n\r\n>" + quotes + "From z\r\n\r\n"},
        {"From env@x Mon Jul  5 14:03:09 2010\r\n  A: b\r\n\r\n>>From x\rFrom y\n\r\nFro\r\n"
         ">Fro\rtail",
         "A: b\r\n\r\n>>>From x\r\n>From y\r\n\r\nFro\r\n>Fro\r\ntail\r\n\r\n"},
        // A message without an empty line gets one before the closing one.
        {"Subject: s\r\nFrom: a@b", "Subject: s\r\nFrom: a@b\r\n\r\n\r\n"},
        {"Subject: s\n", "Subject: s\r\n\r\n\r\n"},
        {"Subject: s\r\n \r\n", "Subject: s\r\n \r\n\r\n\r\n"},
        {"  Subject: Hi\r\nHello", "Subject: Hi\r\nHello\r\n\r\n\r\n"},
        {"Fro", "Fro\r\n\r\n\r\n"},
        {"Fr", "Fr\r\n\r\n\r\n"},
        {"A: b\r\n\r\n", "A: b\r\n\r\n\r\n"},
        {"A: b\r\n\r\nbody", "A: b\r\n\r\nbody\r\n\r\n"},
        {"A: b\r\n\r\nbody\r\n\r\n", "A: b\r\n\r\nbody\r\n\r\n\r\n"},
        // CR LF, lone CR and lone LF each end one line; an LF after a CR LF is
        // an empty line, wherever the pieces are cut.
        {"A: b\n\nx\ry\r\nz\n", "A: b\r\n\r\nx\r\ny\r\nz\r\n\r\n"},
        {"a\n\rb", "a\r\n\r\nb\r\n\r\n"},
        {"A: b\r\n\r\nxy\r\n\nz\r\n\r\r\n", "A: b\r\n\r\nxy\r\n\r\nz\r\n\r\n\r\n\r\n"},
    };
    for (const auto& [bytes, record] : cases) {
        for (std::size_t piece = 1; piece <= 7; ++piece) {
            EXPECT_EQ(EncodeInPieces(bytes, piece), record) << bytes;
            EXPECT_EQ(EncodeInPieces(bytes, piece, LineEnding::Lf), WithLf(record)) << bytes;
        }
    }
}

// A bare message (a Maildir file, an IMAP upload) starts as a record does and
// has the same line ends, but nothing is quoted and no empty line is added.
TEST(RecordEncoderTest, BareMessageIsNotQuotedNorClosed) {
    using Framing = RecordEncoder::Framing;
    const std::pair<std::string, std::string> cases[] = {
        {"From x@y Tue, 6 Jul 2010 01:03:09 +1100\n  A: b\n\nFrom here\n>From there",
         "A: b\r\n\r\nFrom here\r\n>From there\r\n"},
        {"\r\n A: b\r\nC: d", "A: b\r\nC: d\r\n"},
        {"A: b\n\nbody ends with empty lines\n\n\n",
         "A: b\r\n\r\nbody ends with empty lines\r\n\r\n\r\n"},
        {"  \r\n\t", ""},
    };
    for (const auto& [input, message] : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, input.size() + 1}) {
            EXPECT_EQ(EncodeInPieces(input, piece, LineEnding::CrLf, Framing::Message), message)
                << input << " in pieces of " << piece;
            EXPECT_EQ(EncodeInPieces(input, piece, LineEnding::Lf, Framing::Message),
                      WithLf(message))
                << input << " in pieces of " << piece;
        }
    }
    // A long run of plain lines goes through the wide scan unquoted too.
    std::string many = "A: b\n\n";
    for (int i = 0; i < 500; ++i) {
        many += i % 7 == 0 ? "From line\n" : "plain line of text\n";
    }
    EXPECT_EQ(EncodeInPieces(many, many.size(), LineEnding::Lf, Framing::Message), many);
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
    std::string crLfInput = "Subject: mixed\r\n\r\n";
    unsigned state = 7;
    for (int i = 0; i < 3000; ++i) {
        state = state * 1103515245 + 12345;
        // Mostly plain lines, as in real mail; now and then an odd one.
        const unsigned pick = (state >> 16) % 40;
        crLfInput += lines[pick < 9 ? pick : pick % 2 == 0 ? 0 : 8];
    }
    // The same lines as a file from Unix would have them (a lone CR stays).
    std::string lfInput;
    for (std::size_t i = 0; i < crLfInput.size(); ++i) {
        if (!(crLfInput[i] == '\r' && i + 1 < crLfInput.size() && crLfInput[i + 1] == '\n')) {
            lfInput.push_back(crLfInput[i]);
        }
    }
    using Width = LineEndScanner::Width;
    for (const LineEnding ending : {LineEnding::CrLf, LineEnding::Lf}) {
        for (const std::string& input : {crLfInput, lfInput}) {
            const std::string byteByByte = EncodeInPieces(input, 1, ending);
            for (const Width width : {Width::Portable, Width::Sse2, Width::Avx2}) {
                if (!LineEndScanner::Use(width)) {
                    continue; // not on this processor
                }
                const int named = static_cast<int>(width);
                for (const std::size_t piece : {63, 64, 65, 1000, 4096}) {
                    EXPECT_EQ(EncodeInPieces(input, piece, ending), byteByByte)
                        << "width " << named << ", pieces " << piece;
                }
                for (std::size_t shift = 1; shift < 64; shift += 9) {
                    const std::string shifted = std::string(shift, 'p') + "\r\n" + input;
                    EXPECT_EQ(EncodeInPieces(shifted, shifted.size(), ending),
                              EncodeInPieces(shifted, 1, ending))
                        << "width " << named << ", shift " << shift;
                }
            }
            LineEndScanner::UseWidest();
        }
    }
}

} // namespace
} // namespace marrowgate::test
