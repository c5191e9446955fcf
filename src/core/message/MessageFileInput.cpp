#include "message/MessageFileInput.h"

namespace marrowgate {

MessageFileInput::MessageFileInput(const std::string& path, char* buffer, std::size_t readSize)
    : file_(path), buffer_(buffer), readSize_(readSize) {}

std::string_view MessageFileInput::Start() {
    return {buffer_, file_.ReadStart(buffer_, MessageFile::kStartLimit)};
}

std::string_view MessageFileInput::Next() {
    return {buffer_, file_.Read(buffer_, readSize_)};
}

} // namespace marrowgate
