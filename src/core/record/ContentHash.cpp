#include "record/ContentHash.h"

#define XXH_INLINE_ALL
#include "xxhash/xxhash.h"

#include <charconv>
#include <cstring>

namespace marrowgate {

struct RecordHasher::State {
    XXH3_state_t xxh;
};

std::string ContentHash::Text() const {
    if (!known) {
        return "-";
    }
    char digits[33];
    for (int i = 0; i < 16; ++i) {
        constexpr char kHex[] = "0123456789abcdef";
        digits[15 - i] = kHex[(high >> (4 * i)) & 0xF];
        digits[31 - i] = kHex[(low >> (4 * i)) & 0xF];
    }
    return std::string(digits, 32);
}

std::optional<ContentHash> ContentHash::FromText(std::string_view text) {
    if (text == "-") {
        return ContentHash{};
    }
    ContentHash hash;
    const auto half = [](std::string_view digits, std::uint64_t& value) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        return error == std::errc() && end == digits.data() + digits.size() &&
               digits.find_first_not_of("0123456789abcdef") == std::string_view::npos;
    };
    if (text.size() != 32 || !half(text.substr(0, 16), hash.high) ||
        !half(text.substr(16), hash.low)) {
        return std::nullopt;
    }
    hash.known = true;
    return hash;
}

ContentHash ContentHash::Of(std::string_view bytes) {
    const XXH128_hash_t digest = XXH3_128bits(bytes.data(), bytes.size());
    return {digest.high64, digest.low64, true};
}

RecordHasher::RecordHasher() : state_(std::make_unique<State>()) {
    Reset();
}

RecordHasher::~RecordHasher() = default;

void RecordHasher::Reset() {
    XXH3_128bits_reset(&state_->xxh);
    pastFirstLine_ = false;
}

void RecordHasher::Feed(std::string_view bytes) {
    if (!pastFirstLine_) {
        const std::size_t lf = bytes.find('\n');
        if (lf == std::string_view::npos) {
            return;
        }
        bytes.remove_prefix(lf + 1);
        pastFirstLine_ = true;
    }
    if (!bytes.empty()) {
        XXH3_128bits_update(&state_->xxh, bytes.data(), bytes.size());
    }
}

ContentHash RecordHasher::Digest() const {
    const XXH128_hash_t digest = XXH3_128bits_digest(&state_->xxh);
    return {digest.high64, digest.low64, true};
}

std::uint32_t LineChecksum(std::string_view bytes) {
    return static_cast<std::uint32_t>(XXH3_64bits(bytes.data(), bytes.size()));
}

} // namespace marrowgate
