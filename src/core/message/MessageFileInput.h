#pragma once

#include "message/MessageFile.h"
#include "message/MessageInput.h"

#include <cstddef>
#include <string>

namespace marrowgate {

// A message file read as the record is made, through a buffer of the caller's
// of at least MessageFile::kStartLimit bytes.
class MessageFileInput : public MessageInput {
public:
    // Throws ConversionError naming the file when it cannot be opened.
    MessageFileInput(const std::string& path, char* buffer, std::size_t readSize);

    std::string_view Start() override;
    std::string_view Next() override;
    bool AtEnd() const override { return file_.AtEnd(); }
    std::chrono::sys_seconds ModificationTime() const override { return file_.ModificationTime(); }
    FileIdentity Identity() const override { return file_.Identity(); }

private:
    MessageFile file_;
    char* buffer_;
    std::size_t readSize_;
};

} // namespace marrowgate
