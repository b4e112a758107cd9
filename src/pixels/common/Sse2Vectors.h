#pragma once

#include <emmintrin.h>

#include <cstdint>

// Whole-vector helpers of the SSE2 loops. Include this only inside a region
// compiled for SSE2 (#pragma GCC target), so that the helpers are SSE2 code
// that inlines into the loops there; outside, nothing may call them.
namespace sse2 {

inline __m128i LoadVector(const void* from)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

inline void StoreVector(void* to, __m128i value)
{
    _mm_storeu_si128(static_cast<__m128i*>(to), value);
}

// All ones in each lane of `Pixel`'s width where `a` and `b` are equal.
template <typename Pixel>
__m128i Equal(__m128i a, __m128i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm_cmpeq_epi8(a, b);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm_cmpeq_epi16(a, b);
    else
        return _mm_cmpeq_epi32(a, b);
}

// `otherwise`, with the lanes of `mask` taken from `chosen`.
inline __m128i Select(__m128i mask, __m128i chosen, __m128i otherwise)
{
    return _mm_xor_si128(otherwise, _mm_and_si128(mask, _mm_xor_si128(chosen, otherwise)));
}

}
