#pragma once

#include "marrowgate/LineEnding.h"
#include "record/RecordEncoder.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowgate::test {

// The record the encoder makes of `bytes` fed to it `pieceSize` bytes at a
// time, as the mailbox writer feeds it what each read returns.
std::string EncodeInPieces(std::string_view bytes, std::size_t pieceSize,
                           LineEnding ending = LineEnding::CrLf,
                           RecordEncoder::Framing framing = RecordEncoder::Framing::MboxRecord);

} // namespace marrowgate::test
