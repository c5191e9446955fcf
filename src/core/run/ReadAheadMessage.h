#pragma once

#include "message/MessageInput.h"
#include "run/ReadAheadThread.h"

#include <memory>

namespace marrowgate {

// A message file as ReadAheadThread read it: its bytes as they were when the
// reader opened it. Giving it up (destroying it) stops its reading.
class ReadAheadMessage : public MessageInput {
public:
    ReadAheadMessage(ReadAheadThread& owner, std::shared_ptr<ReadAheadThread::Entry> entry);
    ~ReadAheadMessage() override;
    ReadAheadMessage(const ReadAheadMessage&) = delete;
    ReadAheadMessage& operator=(const ReadAheadMessage&) = delete;

    // False when the file could not be opened: the run then opens it itself,
    // so that the failure it reports is its own.
    bool Opened() const { return entry_->opened; }

    std::string_view Start() override;
    std::string_view Next() override;
    bool AtEnd() const override { return atEnd_; }
    std::chrono::sys_seconds ModificationTime() const override { return entry_->modified; }
    long ModificationNanoseconds() const { return entry_->modifiedNanoseconds; }
    FileIdentity Identity() const override { return entry_->identity; }
    std::uint64_t Size() const { return entry_->size; }

private:
    // Takes the next chunk in hand, giving back the one held.
    void Advance();

    ReadAheadThread& owner_;
    std::shared_ptr<ReadAheadThread::Entry> entry_;
    ReadAheadThread::Chunk held_;
    // Where a header block longer than a chunk is put together.
    std::unique_ptr<char[]> start_;
    // Bytes of the held chunk not given yet, when the start took only part.
    std::string_view rest_;
    bool atEnd_ = false;
};

} // namespace marrowgate
