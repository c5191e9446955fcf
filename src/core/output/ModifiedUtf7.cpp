#include "output/ModifiedUtf7.h"

#include <cstdint>
#include <vector>

namespace marrowgate {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// The code point that starts at `i`, moving `i` past it; a byte that does not
// start valid UTF-8 is its Latin-1 character.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int length = byte < 0x80                   ? 1
                 : byte >= 0xC2 && byte < 0xE0 ? 2
                 : byte >= 0xE0 && byte < 0xF0 ? 3
                 : byte >= 0xF0 && byte < 0xF5 ? 4
                                               : 0;
    char32_t code = length == 1   ? byte
                    : length == 2 ? byte & 0x1Fu
                    : length == 3 ? byte & 0x0Fu
                                  : byte & 0x07u;
    for (int k = 1; k < length; ++k) {
        if (i + static_cast<std::size_t>(k) >= text.size() ||
            (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) {
            length = 0;
            break;
        }
        code = (code << 6) |
               (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool invalid = code > 0x10FFFF || (code >= 0xD800 && code < 0xE000);
    if (length == 0 || overlong || invalid) {
        ++i;
        return byte;
    }
    i += static_cast<std::size_t>(length);
    return code;
}

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool PlainAscii(char32_t code) {
    return code >= 0x20 && code <= 0x7E;
}

// One run of other characters, as "&...-".
void AppendShifted(const std::vector<std::uint16_t>& units, std::string& out) {
    out.push_back('&');
    std::uint32_t bits = 0;
    int count = 0;
    for (const std::uint16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out.push_back(kAlphabet[(bits >> count) & 0x3F]);
        }
    }
    if (count > 0) {
        out.push_back(kAlphabet[(bits << (6 - count)) & 0x3F]);
    }
    out.push_back('-');
}

// The UTF-16 units of a base64 run; false when it is not one an encoder makes.
bool DecodeShifted(std::string_view run, std::string& out) {
    std::uint32_t bits = 0;
    int count = 0;
    std::vector<std::uint16_t> units;
    for (const char c : run) {
        const auto value = kAlphabet.find(c);
        if (value == std::string_view::npos) {
            return false;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        count += 6;
        if (count >= 16) {
            count -= 16;
            units.push_back(static_cast<std::uint16_t>(bits >> count));
        }
    }
    // Left-over bits are padding: fewer than 6, all zero.
    if (units.empty() || count >= 6 || (bits & ((1u << count) - 1)) != 0) {
        return false;
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t code = units[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (code >= 0xD800 && code < 0xE000) {
            return false;
        }
        if (PlainAscii(code)) {
            return false; // would have stood for itself
        }
        AppendUtf8(code, out);
    }
    return true;
}

} // namespace

std::string EncodeModifiedUtf7(std::string_view utf8) {
    std::string out;
    std::vector<std::uint16_t> units;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t code = NextCodePoint(utf8, i);
        if (PlainAscii(code)) {
            if (!units.empty()) {
                AppendShifted(units, out);
                units.clear();
            }
            out.append(code == '&' ? "&-" : std::string(1, static_cast<char>(code)));
        } else if (code >= 0x10000) {
            units.push_back(static_cast<std::uint16_t>(0xD800 + ((code - 0x10000) >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
    }
    if (!units.empty()) {
        AppendShifted(units, out);
    }
    return out;
}

std::optional<std::string> DecodeModifiedUtf7(std::string_view utf7) {
    std::string out;
    std::size_t i = 0;
    while (i < utf7.size()) {
        const char c = utf7[i];
        if (!PlainAscii(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        if (c != '&') {
            out.push_back(c);
            ++i;
            continue;
        }
        const std::size_t end = utf7.find('-', i + 1);
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        if (end == i + 1) {
            out.push_back('&');
        } else if (!DecodeShifted(utf7.substr(i + 1, end - i - 1), out)) {
            return std::nullopt;
        }
        i = end + 1;
    }
    return out;
}

std::string ValidUtf8(std::string_view bytes) {
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        AppendUtf8(NextCodePoint(bytes, i), out);
    }
    return out;
}

} // namespace marrowgate
