#include "message/LineEndScanner.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MARROWGATE_X86 1
#endif

namespace marrowgate {
namespace {

#define MARROWGATE_INLINE __attribute__((always_inline)) inline

// Where the CRs and the LFs are among 64 bytes: bit i stands for byte i.
struct LineEndBits {
    std::uint64_t crs = 0;
    std::uint64_t lfs = 0;
};

MARROWGATE_INLINE LineEndBits PortableBits(const char* data) {
    LineEndBits bits;
    for (int i = 0; i < 64; ++i) {
        bits.crs |= std::uint64_t{data[i] == '\r'} << i;
        bits.lfs |= std::uint64_t{data[i] == '\n'} << i;
    }
    return bits;
}

#if defined(MARROWGATE_X86)
MARROWGATE_INLINE __attribute__((target("sse2"))) LineEndBits Sse2Bits(const char* data) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    LineEndBits bits;
    for (int part = 0; part < 4; ++part) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * part));
        const auto crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
        const auto lfs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, lf)));
        bits.crs |= std::uint64_t{crs & 0xffffU} << (16 * part);
        bits.lfs |= std::uint64_t{lfs & 0xffffU} << (16 * part);
    }
    return bits;
}

MARROWGATE_INLINE __attribute__((target("avx2"))) LineEndBits Avx2Bits(const char* data) {
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 32));
    const auto mask = [](__m256i block, __m256i byte) __attribute__((target("avx2"))) {
        return std::uint64_t{
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, byte)))};
    };
    return {mask(low, cr) | mask(high, cr) << 32, mask(low, lf) | mask(high, lf) << 32};
}
#endif

// Follows a run of plain lines from block to block; see PlainLinesEnd().
struct PlainRun {
    std::size_t from;
    std::size_t lastLfBlock = 0; // the last block with an LF in the run, and
    std::uint64_t lastLfs = 0;   // its LFs that belong to the run
    std::uint64_t crBefore = 0;  // the byte before the block is a CR
    std::uint64_t lfBefore = 0;  // ... an LF

    // Takes the 64 bytes at `at`; false when the run ends among them.
    template <LineEnding kEnding>
    MARROWGATE_INLINE bool Take(const LineEndBits& bits, const char* data, std::size_t at) {
        // For CR LF: an LF without its CR, or a CR without its LF (marked on
        // the byte after it). For LF: any CR.
        std::uint64_t odd =
            kEnding == LineEnding::CrLf ? bits.lfs ^ (bits.crs << 1 | crBefore) : bits.crs;
        // A block holds a line start or two: their first bytes are looked at
        // one by one.
        for (std::uint64_t starts = bits.lfs << 1 | lfBefore; starts != 0; starts &= starts - 1) {
            const int bit = std::countr_zero(starts);
            const char first = data[at + static_cast<std::size_t>(bit)];
            if (first == 'F' || first == '>') {
                odd |= std::uint64_t{1} << bit;
            }
        }
        // The LFs before the first odd byte (all of them when there is none).
        const std::uint64_t lfs = bits.lfs & ((odd & (0 - odd)) - 1);
        if (lfs != 0) {
            lastLfBlock = at;
            lastLfs = lfs;
        }
        crBefore = bits.crs >> 63;
        lfBefore = bits.lfs >> 63;
        return odd == 0;
    }

    // The start of the line after the run's last LF, or `from`.
    std::size_t End() const {
        return lastLfs == 0
                   ? from
                   : lastLfBlock + 64 - static_cast<std::size_t>(std::countl_zero(lastLfs));
    }
};

// The loops are written out for each instruction set, so that the block test
// is compiled into them.
#define MARROWGATE_SCANS(Name, Bits, ...)                                                          \
    template <LineEnding kEnding>                                                                  \
    __VA_ARGS__ std::size_t PlainLinesEnd##Name(std::string_view text, std::size_t from) {         \
        PlainRun run{from};                                                                        \
        for (std::size_t at = from;                                                                \
             at + 64 <= text.size() && run.Take<kEnding>(Bits(text.data() + at), text.data(), at); \
             at += 64)                                                                             \
            ;                                                                                      \
        return run.End();                                                                          \
    }                                                                                              \
    __VA_ARGS__ std::size_t Next##Name(std::string_view text, std::size_t from) {                  \
        std::size_t i = from;                                                                      \
        for (; i + 64 <= text.size(); i += 64) {                                                   \
            const LineEndBits bits = Bits(text.data() + i);                                        \
            if ((bits.crs | bits.lfs) != 0) {                                                      \
                return i + static_cast<std::size_t>(std::countr_zero(bits.crs | bits.lfs));        \
            }                                                                                      \
        }                                                                                          \
        for (; i < text.size(); ++i) {                                                             \
            if (text[i] == '\r' || text[i] == '\n') {                                              \
                return i;                                                                          \
            }                                                                                      \
        }                                                                                          \
        return text.size();                                                                        \
    }                                                                                              \
    /* Moves the bytes between CRs 64 at a time: each move may write past its  */                  \
    /* piece, which the next move or the slack takes, and read up to 127 bytes */                  \
    /* past a block's start, so the last 127 bytes are done one by one.         */                 \
    __VA_ARGS__ std::size_t CopyWithoutCrs##Name(std::string_view text, char* to) {                \
        const char* from = text.data();                                                            \
        char* end = to;                                                                            \
        std::size_t at = 0;                                                                        \
        for (; at + 128 <= text.size(); at += 64) {                                                \
            std::size_t pieceStart = at;                                                           \
            for (std::uint64_t crs = Bits(from + at).crs; crs != 0; crs &= crs - 1) {              \
                const std::size_t cr = at + static_cast<std::size_t>(std::countr_zero(crs));       \
                std::memcpy(end, from + pieceStart, 64);                                           \
                end += cr - pieceStart;                                                            \
                pieceStart = cr + 1;                                                               \
            }                                                                                      \
            std::memcpy(end, from + pieceStart, 64);                                               \
            end += at + 64 - pieceStart;                                                           \
        }                                                                                          \
        for (; at < text.size(); ++at) {                                                           \
            *end = from[at];                                                                       \
            end += from[at] != '\r';                                                               \
        }                                                                                          \
        return static_cast<std::size_t>(end - to);                                                 \
    }

#if defined(MARROWGATE_X86)
MARROWGATE_SCANS(Avx2, Avx2Bits, __attribute__((target("avx2"))))
MARROWGATE_SCANS(Sse2, Sse2Bits, __attribute__((target("sse2"))))
#endif
MARROWGATE_SCANS(Portable, PortableBits)

using Scan = std::size_t (*)(std::string_view, std::size_t);

struct Scans {
    Scan plainCrLfLinesEnd;
    Scan plainLfLinesEnd;
    Scan next;
    std::size_t (*copyWithoutCrs)(std::string_view, char*);
};

std::optional<Scans> ScansOf(LineEndScanner::Width width) {
    switch (width) {
    case LineEndScanner::Width::Portable:
        return Scans{PlainLinesEndPortable<LineEnding::CrLf>, PlainLinesEndPortable<LineEnding::Lf>,
                     NextPortable, CopyWithoutCrsPortable};
#if defined(MARROWGATE_X86)
    case LineEndScanner::Width::Sse2:
        if (__builtin_cpu_supports("sse2")) {
            return Scans{PlainLinesEndSse2<LineEnding::CrLf>, PlainLinesEndSse2<LineEnding::Lf>,
                         NextSse2, CopyWithoutCrsSse2};
        }
        break;
    case LineEndScanner::Width::Avx2:
        if (__builtin_cpu_supports("avx2")) {
            return Scans{PlainLinesEndAvx2<LineEnding::CrLf>, PlainLinesEndAvx2<LineEnding::Lf>,
                         NextAvx2, CopyWithoutCrsAvx2};
        }
        break;
#else
    default:
        break;
#endif
    }
    return std::nullopt;
}

// The widest vectors this processor has.
Scans PickScans() {
    for (const auto width : {LineEndScanner::Width::Avx2, LineEndScanner::Width::Sse2}) {
        if (const auto scans = ScansOf(width)) {
            return *scans;
        }
    }
    return *ScansOf(LineEndScanner::Width::Portable);
}

Scans scans = PickScans();

} // namespace

std::size_t LineEndScanner::Next(std::string_view text, std::size_t from) {
    return scans.next(text, from);
}

std::size_t LineEndScanner::PlainLinesEnd(std::string_view text, std::size_t from,
                                          LineEnding ending) {
    return ending == LineEnding::CrLf ? scans.plainCrLfLinesEnd(text, from)
                                      : scans.plainLfLinesEnd(text, from);
}

std::size_t LineEndScanner::CopyWithoutCrs(std::string_view text, char* to) {
    return scans.copyWithoutCrs(text, to);
}

bool LineEndScanner::Use(Width width) {
    if (const auto chosen = ScansOf(width)) {
        scans = *chosen;
        return true;
    }
    return false;
}

void LineEndScanner::UseWidest() {
    scans = PickScans();
}

} // namespace marrowgate
