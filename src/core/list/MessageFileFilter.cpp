#include "marrowgate/MessageFileFilter.h"

#include <string_view>

namespace marrowgate {

bool IsMessageFilePath(std::string_view path) {
    std::string_view text = path;
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    if (text.size() < 4) {
        return false;
    }
    const auto tail = text.substr(text.size() - 4);
    constexpr std::string_view kExtension = ".eml";
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        const char c = tail[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kExtension[i]) {
            return false;
        }
    }
    return true;
}

} // namespace marrowgate
