// The record writer on any bytes, with either line end: read back the way an
// mbox reader reads it, the record gives the message's lines, with the ">From "
// quoting undone and an empty line where the message had none; and it does
// not depend on how the bytes were cut into pieces.
#include "message/HeaderBlock.h"

#include "Require.h"
#include "support/RecordPieces.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using marrowgate::test::Require;

namespace {

using marrowgate::LineEnding;
using marrowgate::test::EncodeInPieces;

// The lines of the message file: CR LF, lone CR and lone LF each end one; a
// line end at the very end adds no empty line.
std::vector<std::string_view> MessageLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines.push_back(bytes.substr(start, i - start));
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        lines.push_back(bytes.substr(start));
    }
    return lines;
}

// Drops the blank lines at the top and the first line's leading blanks.
void DropTop(std::vector<std::string_view>& lines) {
    while (!lines.empty() && lines.front().find_first_not_of(" \t") == std::string_view::npos) {
        lines.erase(lines.begin());
    }
    if (!lines.empty()) {
        lines.front().remove_prefix(lines.front().find_first_not_of(" \t"));
    }
}

// What the message should give: it starts at its first line with more than
// blanks, less those blanks, and after an envelope line there; one empty line
// is added when it has lines but no empty one.
std::vector<std::string_view> ExpectedLines(std::string_view bytes) {
    auto lines = MessageLines(bytes);
    DropTop(lines);
    if (!lines.empty() && marrowgate::HeaderBlock::IsEnvelopeLine(lines.front())) {
        lines.erase(lines.begin());
        DropTop(lines);
    }
    if (!lines.empty() && std::find(lines.begin(), lines.end(), "") == lines.end()) {
        lines.push_back("");
    }
    return lines;
}

bool IsQuotedFrom(std::string_view line) {
    const auto quotes = line.find_first_not_of('>');
    return quotes != 0 && quotes != std::string_view::npos &&
           line.substr(quotes).starts_with("From ");
}

// The record's lines as a reader gets them, quoting undone.
std::vector<std::string_view> ReadBack(std::string_view record, LineEnding ending) {
    const std::string_view lineEnd = ending == LineEnding::CrLf ? "\r\n" : "\n";
    Require(record.ends_with(lineEnd), "the record ends with an empty line");
    record.remove_suffix(lineEnd.size());
    std::vector<std::string_view> lines;
    while (!record.empty()) {
        const auto end = record.find(lineEnd);
        Require(end != std::string_view::npos, "every line of the record has its line end");
        auto line = record.substr(0, end);
        record.remove_prefix(end + lineEnd.size());
        Require(line.find_first_of("\r\n") == std::string_view::npos,
                "no lone CR or LF inside a line");
        Require(!line.starts_with("From "), "no line reads as the start of a record");
        if (IsQuotedFrom(line)) {
            line.remove_prefix(1);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

// The first byte picks the size of the pieces the rest is fed in.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t pieceSize = data[0] % 16 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    const auto expected = ExpectedLines(bytes);
    for (const LineEnding ending : {LineEnding::CrLf, LineEnding::Lf}) {
        const std::string record = EncodeInPieces(bytes, bytes.size() + 1, ending);
        Require(EncodeInPieces(bytes, pieceSize, ending) == record,
                "pieces of any size give the same record");
        Require(ReadBack(record, ending) == expected, "the record gives the message's lines");
    }
    return 0;
}
