#pragma once

// While one of these lives, the program's nothrow array allocations (which
// the pixel code makes its temporary and lasting buffers with) find no memory;
// otherwise they do what the library's do. Nested ones keep the outer one's
// wish when they go.
class NoMemory {
public:
    explicit NoMemory(bool active = true);
    ~NoMemory();

    NoMemory(const NoMemory&) = delete;
    NoMemory& operator=(const NoMemory&) = delete;

private:
    bool previous_;
};
