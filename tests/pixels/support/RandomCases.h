#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

// Randomized tests run numbered cases; each case draws from a generator of its
// own, seeded from the suite's name and the case's number, so that any case
// can be run again alone and see exactly what it saw in the full run.
class CaseRandom {
public:
    CaseRandom(uint64_t suite, uint64_t caseNumber) : state_(suite * 0x9E3779B97F4A7C15ull ^ caseNumber) {}

    uint64_t Bits64()
    {
        // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Bits() { return uint32_t(Bits64() >> 32); }
    uint32_t Below(uint32_t count) { return uint32_t((uint64_t(Bits()) * count) >> 32); }
    uint32_t Between(uint32_t low, uint32_t high) { return low + Below(high - low + 1); }
    int32_t SignedBetween(int32_t low, int32_t high) { return int32_t(int64_t(low) + Below(uint32_t(high - low + 1))); }
    bool OneIn(uint32_t count) { return Below(count) == 0; }

private:
    uint64_t state_;
};

// A suite's name as the number its generators are seeded from.
constexpr uint64_t SuiteSeed(const char* name)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (; *name != 0; ++name)
        hash = (hash ^ uint8_t(*name)) * 0x100000001B3ull;
    return hash;
}

// Every output of a run folded into one value (FNV-1a), compared with the
// value the suite recorded, so that any change of behaviour shows.
class Checksum {
public:
    void Add(const void* bytes, size_t count)
    {
        const uint8_t* byte = static_cast<const uint8_t*>(bytes);
        for (size_t index = 0; index < count; ++index)
            value_ = (value_ ^ byte[index]) * 0x100000001B3ull;
    }
    void Add(uint64_t number) { Add(&number, sizeof number); }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 0xCBF29CE484222325ull;
};

// DDRAW_REPLAY=N names one case to run alone and describe as it runs.
inline std::optional<uint64_t> ReplayedCase()
{
    const char* text = std::getenv("DDRAW_REPLAY");
    if (text == nullptr || *text == 0)
        return std::nullopt;
    return std::strtoull(text, nullptr, 10);
}
