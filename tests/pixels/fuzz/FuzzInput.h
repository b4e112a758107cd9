#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A fuzzer's input read as the choices of one call, front to back. Past its
// end every choice is 0, so that any input, the empty one included, makes a
// valid call, and a choice takes as few bytes as its range needs, so that a
// mutation of one byte changes one choice.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}

    uint8_t Byte() { return next_ != end_ ? *next_++ : 0; }
    bool Flag() { return Byte() & 1; }

    // 0 to count - 1; 0 when count is 0.
    uint32_t Below(uint64_t count)
    {
        uint64_t value = 0;
        for (uint64_t range = 1; range < count; range <<= 8)
            value = value << 8 | Byte();
        return count == 0 ? 0 : uint32_t(value % count);
    }
    uint32_t Between(uint32_t low, uint32_t high) { return low + Below(uint64_t(high) - low + 1); }
    uint32_t Bits32() { return Below(uint64_t(1) << 32); }

    // The bytes not taken by choices, which pixels are painted from.
    const uint8_t* Rest() const { return next_; }
    size_t RestSize() const { return size_t(end_ - next_); }

private:
    const uint8_t* next_;
    const uint8_t* end_;
};

// Pixel values from a few chosen ones (or any, for a count of 0), picked by
// the input's remaining bytes in turn, over again when they run out: few
// values make equal neighbours, keys and edges likely.
class PixelValues {
public:
    explicit PixelValues(FuzzInput& input)
    {
        const uint32_t count = input.Below(9);
        for (uint32_t index = 0; index < count; ++index)
            values_.push_back(input.Bits32());
        rest_ = input.Rest();
        restSize_ = input.RestSize();
    }

    uint32_t Next()
    {
        const uint32_t raw = NextByte() | uint32_t(NextByte()) << 8 | uint32_t(NextByte()) << 16 |
                             uint32_t(NextByte()) << 24;
        return values_.empty() ? raw : values_[raw % values_.size()];
    }

    // One of the chosen values, as a key that pixels are likely to match.
    uint32_t Chosen(uint32_t index) const { return values_.empty() ? index : values_[index % values_.size()]; }

private:
    uint8_t NextByte()
    {
        if (restSize_ == 0)
            return 0;
        const uint8_t byte = rest_[position_];
        if (++position_ == restSize_)
            position_ = 0;
        return byte;
    }

    std::vector<uint32_t> values_;
    const uint8_t* rest_ = nullptr;
    size_t restSize_ = 0;
    size_t position_ = 0;
};

// A wrong result ends the run as a crash, which libFuzzer keeps as its
// reproducer; the message says what was wrong, and in which call.
template <typename Describe>
void Require(bool holds, const char* what, Describe describe)
{
    if (holds)
        return;
    std::fprintf(stderr, "wrong: %s\n  in %s\n", what, describe().c_str());
    __builtin_trap();
}
