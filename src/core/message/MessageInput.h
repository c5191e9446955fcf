#pragma once

#include "platform/FileIdentity.h"

#include <chrono>
#include <cstdint>
#include <string_view>

namespace marrowgate {

// The bytes of one message file as a record is made of them: read here and
// now (MessageFileInput), or read ahead on another thread (ReadAheadMessage).
// Either way the bytes are those of the file as it was when it was opened,
// read once, and a read that fails or finds the file changed throws the same
// ConversionError.
class MessageInput {
public:
    virtual ~MessageInput() = default;

    // The message's first bytes: at least its whole header block when it has
    // one, up to MessageFile::kStartLimit. Called once, first.
    virtual std::string_view Start() = 0;
    // The bytes after those given last; empty at the end. The bytes given
    // before are no longer valid.
    virtual std::string_view Next() = 0;
    // True once the bytes given reach the end of the file.
    virtual bool AtEnd() const = 0;

    virtual std::chrono::sys_seconds ModificationTime() const = 0;
    virtual FileIdentity Identity() const = 0;
};

} // namespace marrowgate
