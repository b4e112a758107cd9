#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <new>
#include <vector>

// Every pixel routine is measured against the memory limit of the same work,
// a plain memcpy or memset of the bytes it writes, timed in the same run: each
// routine reports its time as a multiple of that yardstick's median (counter
// x_memcpy or x_memset). A yardstick must run before the routines measured
// against it, which their order of registration in each file sees to.

enum class Yardstick { Memcpy, Memset };

// Times the loop itself, so that the ratio uses the same clock for both sides.
template <typename Body>
double SecondsPerIteration(benchmark::State& state, Body body)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        body();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / double(state.iterations());
}

// The yardstick itself, over `bytes` bytes.
void MeasureYardstick(benchmark::State& state, Yardstick yardstick, size_t bytes);

// Reports a routine that took `seconds` per iteration to write `bytes` bytes.
void ReportAgainst(benchmark::State& state, Yardstick yardstick, double seconds, size_t bytes);

// Frames and the present bitmap are DIB sections, which start on a page; the
// benchmarks' frames and the yardsticks' buffers do too.
template <typename T>
struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <typename U>
    PageAllocator(const PageAllocator<U>&)
    {
    }
    T* allocate(size_t count) { return static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t(4096))); }
    void deallocate(T* pixels, size_t) { ::operator delete(pixels, std::align_val_t(4096)); }
    bool operator==(const PageAllocator&) const { return true; }
};

template <typename T>
using PageVector = std::vector<T, PageAllocator<T>>;
