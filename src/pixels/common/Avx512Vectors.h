#pragma once

#include <immintrin.h>

#include <cstdint>

// Lane masks of the AVX-512 loops. Include this only inside a region compiled
// for AVX-512 (#pragma GCC target), like Avx2Vectors.h.
namespace avx512 {

// A bit per lane of `Pixel`'s width.
template <typename Pixel>
struct LaneMaskOf;
template <>
struct LaneMaskOf<uint8_t> {
    using Type = __mmask64;
};
template <>
struct LaneMaskOf<uint16_t> {
    using Type = __mmask32;
};
template <>
struct LaneMaskOf<uint32_t> {
    using Type = __mmask16;
};
template <typename Pixel>
using LaneMask = typename LaneMaskOf<Pixel>::Type;

template <typename Pixel>
constexpr uint32_t lanes = 64 / sizeof(Pixel);

// The first `count` lanes, all of them from a whole vector on.
template <typename Pixel>
inline LaneMask<Pixel> FirstLanes(uint32_t count)
{
    using Mask = LaneMask<Pixel>;
    return count >= lanes<Pixel> ? Mask(~Mask(0)) : Mask((Mask(1) << count) - 1);
}

}
