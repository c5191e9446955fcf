#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace marrowgate {

// The sender and the date that an mbox record's From_ line needs, read from a
// message file's header block. (MailMessageObject is the written name of the
// mail component that finds them.)
//
// Sender: one printable ASCII token (the From_ line is read as ASCII): the bare
// address of Return-Path:, else of the first mailbox of From:, else of Sender:.
// An empty address ("<>") or one with white space or bytes outside printable
// ASCII does not count; when none counts, "MAILER-DAEMON".
//
// MessageDate: Date: in UTC; when it is missing, unreadable or outside the
// years 1970 to 2099 (which every mbox reader takes), the date of the topmost
// Received: field; else the file's modification time; else, none of them
// within those years, the start of 1970.
//
// A file that is no message at all (empty, binary) is no error: it gives
// MAILER-DAEMON and the file's time.
class MailMessageObject {
public:
    // Reads the header block of the file. Returns false when the file has no
    // header fields. Throws ConversionError when the file cannot be read.
    bool LoadFromFile(const std::string& path);

    // The same from bytes already read: the file's start (at least its whole
    // header block, when it has one) and its modification time.
    bool LoadFromBytes(std::string_view start, std::chrono::sys_seconds fileTime);

    std::chrono::sys_seconds MessageDate() const { return date_; }
    const std::string& Sender() const { return sender_; }

private:
    std::chrono::sys_seconds date_{};
    std::string sender_ = "MAILER-DAEMON";
};

} // namespace marrowgate
