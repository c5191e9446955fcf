#pragma once

#include "marrowgate/ConversionError.h"

#include <string>

namespace marrowgate {

// A failure in talking to an IMAP server. A lost connection (the network,
// the server going away, a time-out) may be tried again on a new one; the
// rest (a refused login, a certificate that does not fit) will not get better.
class ImapError : public ConversionError {
public:
    enum class Kind { ConnectionLost, Refused };

    ImapError(Kind kind, const std::string& message) : ConversionError(message), kind_(kind) {}
    Kind GetKind() const { return kind_; }
    bool ConnectionLost() const { return kind_ == Kind::ConnectionLost; }

private:
    Kind kind_;
};

} // namespace marrowgate
