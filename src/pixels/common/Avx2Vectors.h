#pragma once

#include <immintrin.h>

#include <cstdint>

// Whole-vector helpers of the AVX2 loops. Include this only inside a region
// compiled for AVX2 (#pragma GCC target), so that the helpers are AVX2 code
// that inlines into the loops there; outside, nothing may call them.
namespace avx2 {

inline __m256i Load(const void* from)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}

inline void Store(void* to, __m256i value)
{
    _mm256_storeu_si256(static_cast<__m256i*>(to), value);
}

inline __m128i LoadHalf(const void* from)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(from));
}

inline void StoreHalf(void* to, __m128i value)
{
    _mm_storeu_si128(static_cast<__m128i*>(to), value);
}

// All ones in each lane of `Pixel`'s width where `a` and `b` are equal.
template <typename Pixel>
__m256i Equal(__m256i a, __m256i b)
{
    if constexpr (sizeof(Pixel) == 1)
        return _mm256_cmpeq_epi8(a, b);
    else if constexpr (sizeof(Pixel) == 2)
        return _mm256_cmpeq_epi16(a, b);
    else
        return _mm256_cmpeq_epi32(a, b);
}

}
