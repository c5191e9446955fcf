#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace marrowgate {

// The identity of a record's content: XXH3's 128-bit hash of the record's
// bytes after its first line (the From_ line of an mbox record), so that it
// does not change with what the From_ line says. Unknown for records of
// ledgers that did not keep it.
struct ContentHash {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool known = false;

    // 32 lowercase hexadecimal digits, or "-" when unknown.
    std::string Text() const;
    // Reads what Text() writes; nullopt for anything else.
    static std::optional<ContentHash> FromText(std::string_view text);
    // The hash of all of `bytes`: a message kept apart has no first line to
    // pass over.
    static ContentHash Of(std::string_view bytes);
    bool operator==(const ContentHash& other) const = default;
};

// Hashes a record fed in pieces, passing over its first line (up to and
// including the first LF).
class RecordHasher {
public:
    RecordHasher();
    ~RecordHasher();
    RecordHasher(const RecordHasher&) = delete;
    RecordHasher& operator=(const RecordHasher&) = delete;

    void Reset();
    void Feed(std::string_view bytes);
    ContentHash Digest() const;

private:
    struct State;
    std::unique_ptr<State> state_;
    bool pastFirstLine_ = false;
};

// The checksum a ledger line carries: the low 32 bits of XXH3's 64-bit hash.
std::uint32_t LineChecksum(std::string_view bytes);

} // namespace marrowgate
