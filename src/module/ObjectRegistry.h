#pragma once

#include <cstdint>

// A fixed set of slots holding the live objects of one class. Positions are
// 1-based, so a position of 0 always means "not registered".
template <class T, uint32_t Capacity>
class ObjectRegistry {
public:
    static constexpr uint32_t capacity = Capacity;

    // Takes the lowest free slot; returns its position, or 0 when all are taken.
    uint32_t Enter(T* object)
    {
        for (uint32_t index = 0; index < Capacity; ++index) {
            if (slots[index] == nullptr) {
                slots[index] = object;
                ++liveCount;
                return index + 1;
            }
        }
        return 0;
    }

    void Leave(uint32_t position)
    {
        if (position == 0 || position > Capacity || slots[position - 1] == nullptr)
            return;
        slots[position - 1] = nullptr;
        --liveCount;
    }

    T* At(uint32_t position) const
    {
        return position == 0 || position > Capacity ? nullptr : slots[position - 1];
    }

    uint32_t LiveCount() const { return liveCount; }

    void Clear()
    {
        for (T*& slot : slots)
            slot = nullptr;
        liveCount = 0;
    }

    // Stops once every live object has been seen, so that a search of a
    // large, sparsely used registry costs what its live objects cost.
    template <class Match>
    T* Find(Match match) const
    {
        uint32_t unseen = liveCount;
        for (uint32_t index = 0; unseen != 0 && index < Capacity; ++index) {
            if (T* object = slots[index]) {
                if (match(object))
                    return object;
                --unseen;
            }
        }
        return nullptr;
    }

    // Each slot is read only when the walk reaches it, so an object destroyed
    // by an earlier visit is never handed to `visit`.
    template <class Visit>
    void ForEachLive(Visit visit) const
    {
        for (uint32_t index = 0; index < Capacity; ++index) {
            if (T* object = slots[index])
                visit(object);
        }
    }

private:
    T* slots[Capacity] = {};
    uint32_t liveCount = 0;
};
