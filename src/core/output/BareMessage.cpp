#include "output/BareMessage.h"

#include "message/MailMessageObject.h"
#include "message/MessageInput.h"
#include "output/RunInterrupted.h"
#include "record/RecordEncoder.h"
#include "record/RecordOutput.h"

#include <algorithm>

namespace marrowgate {
namespace {

bool OnlyWhiteSpace(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
}

// The encoder's pieces point into the chunk in hand: they are copied out
// before the next one is read.
void TakeOut(RecordOutput& out, std::string& into) {
    for (const std::string_view piece : out.Pieces()) {
        into.append(piece);
    }
    out.Clear();
}

} // namespace

BareMessage BareMessage::Read(MessageInput& message, LineEnding ending,
                              const std::function<bool()>& interrupted) {
    BareMessage bare;
    const std::string_view start = message.Start();
    bare.bytesRead = start.size();
    if (message.AtEnd() && OnlyWhiteSpace(start)) {
        bare.empty = true;
        return bare;
    }
    MailMessageObject mail;
    mail.LoadFromBytes(start, message.ModificationTime());
    bare.date = mail.MessageDate();

    RecordEncoder encoder(ending, RecordEncoder::Framing::Message);
    RecordOutput out;
    encoder.Feed(start, out);
    TakeOut(out, bare.bytes);
    while (!message.AtEnd()) {
        if (interrupted && interrupted()) {
            throw RunInterrupted();
        }
        const std::string_view bytes = message.Next();
        if (bytes.empty()) {
            break;
        }
        bare.bytesRead += bytes.size();
        encoder.Feed(bytes, out);
        TakeOut(out, bare.bytes);
    }
    encoder.Finish(out);
    TakeOut(out, bare.bytes);
    return bare;
}

} // namespace marrowgate
