#include "convert/LineEndScanner.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace marrowgate {

std::size_t LineEndScanner::Next(std::string_view text, std::size_t from) {
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
        if (hits != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(hits)));
        }
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            return i;
        }
    }
    return size;
}

} // namespace marrowgate
