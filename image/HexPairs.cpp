#include "image/HexPairs.h"

#include "image/HexDigits.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TARVEL_HEX_SSE2 1
#include <emmintrin.h>
#endif

namespace image {
namespace {

#ifdef TARVEL_HEX_SSE2
// Sixteen characters to eight bytes (in the low half of *bytes). Returns the
// mask of the characters that were digits: 0xFFFF when all were.
inline int DecodeSixteen(const std::uint8_t* text, __m128i* bytes) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    // Signed compares only: shift each range so that it starts at -128.
    const __m128i digit = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    const __m128i isDigit =
        _mm_cmplt_epi8(_mm_add_epi8(digit, _mm_set1_epi8(-128)), _mm_set1_epi8(static_cast<char>(-128 + 10)));
    // Folding to lower case maps 'A'..'F' onto 'a'..'f' and nothing else onto
    // them that is not already there.
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter =
        _mm_cmplt_epi8(_mm_add_epi8(letter, _mm_set1_epi8(-128)), _mm_set1_epi8(static_cast<char>(-128 + 6)));
    const __m128i value =
        _mm_or_si128(_mm_and_si128(isDigit, digit), _mm_and_si128(isLetter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    // Each 16-bit lane holds one pair: the high digit in its low byte.
    const __m128i high = _mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0x00FF)), 4);
    const __m128i low = _mm_srli_epi16(value, 8);
    *bytes = _mm_packus_epi16(_mm_or_si128(high, low), _mm_setzero_si128());
    return _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter));
}

inline unsigned SumOfEight(__m128i bytes) {
    return static_cast<unsigned>(_mm_cvtsi128_si32(_mm_sad_epu8(bytes, _mm_setzero_si128())));
}
#endif

}  // namespace

bool DecodeHexPairsScalar(const std::uint8_t* text, std::size_t pairs, std::uint8_t* out, unsigned* sum) {
    unsigned bad = 0, s = 0;
    for (std::size_t i = 0; i < pairs; ++i, text += 2) {
        const unsigned v = hexdigits::Pair(text);
        bad |= v;
        out[i] = static_cast<std::uint8_t>(v);
        s += v;
    }
    *sum += s;
    return (bad & hexdigits::kBadPair) == 0;
}

bool DecodeHexPairs(const std::uint8_t* text, std::size_t pairs, std::uint8_t* out, unsigned* sum) {
#ifdef TARVEL_HEX_SSE2
    if (pairs < 8) return DecodeHexPairsScalar(text, pairs, out, sum);
    int valid = 0xFFFF;
    unsigned s = 0;
    std::size_t done = 0;
    for (; done + 8 <= pairs; done += 8) {
        __m128i bytes;
        valid &= DecodeSixteen(text + 2 * done, &bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + done), bytes);
        s += SumOfEight(bytes);
    }
    if (done < pairs) {
        // The last few pairs: decode the last eight again, overlapping what
        // is done, and keep only the new ones.
        alignas(16) std::uint8_t last[16];
        __m128i bytes;
        valid &= DecodeSixteen(text + 2 * (pairs - 8), &bytes);
        _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
        for (std::size_t i = 8 - (pairs - done); i < 8; ++i, ++done) {
            out[done] = last[i];
            s += last[i];
        }
    }
    *sum += s;
    return valid == 0xFFFF;
#else
    return DecodeHexPairsScalar(text, pairs, out, sum);
#endif
}

bool HexPairsAreWide() {
#ifdef TARVEL_HEX_SSE2
    return true;
#else
    return false;
#endif
}

}  // namespace image
