#include "support/RecordPieces.h"

namespace marrowgate::test {

std::string EncodeInPieces(std::string_view bytes, std::size_t pieceSize, LineEnding ending,
                           RecordEncoder::Framing framing) {
    RecordEncoder encoder(ending, framing);
    RecordOutput out;
    for (std::size_t i = 0; i < bytes.size(); i += pieceSize) {
        encoder.Feed(bytes.substr(i, pieceSize), out);
    }
    encoder.Finish(out);
    return out.Joined();
}

} // namespace marrowgate::test
