#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Bytes that end where an inaccessible page begins, so that a read or write
// past the end faults at once. The start is aligned down to `alignment` (a
// power of two) as pixel rows are; the few bytes that this leaves between the
// end and the page hold a sentinel that SlackIntact() checks. `size` may be 0.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size, size_t alignment = 4) : size_(size)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t usable = (size + page - 1) / page * page;
        mappedBytes_ = usable + page;
        void* mapping = mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED)
            std::abort();
        mapping_ = static_cast<uint8_t*>(mapping);
        if (mprotect(mapping_ + usable, page, PROT_NONE) != 0)
            std::abort();
        data_ = mapping_ + ((usable - size) & ~(alignment - 1));
        for (uint8_t* slack = data_ + size; slack < mapping_ + usable; ++slack)
            *slack = sentinel;
        end_ = mapping_ + usable;
    }
    ~GuardedBuffer() { munmap(mapping_, mappedBytes_); }

    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* Data() { return data_; }
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

    bool SlackIntact() const
    {
        for (const uint8_t* slack = data_ + size_; slack < end_; ++slack) {
            if (*slack != sentinel)
                return false;
        }
        return true;
    }

private:
    static constexpr uint8_t sentinel = 0xA5;

    uint8_t* mapping_ = nullptr;
    uint8_t* end_ = nullptr;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t mappedBytes_ = 0;
};
