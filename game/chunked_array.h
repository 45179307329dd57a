// A growable array whose elements never move: storage comes in fixed chunks of 4096 slots, so a
// reference to an element stays valid for the array's lifetime, and a walk in index order runs
// over plain contiguous memory, one chunk at a time. Only Append allocates (once per chunk).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace corvex {

template <class T>
class ChunkedArray {
public:
    static constexpr int32_t CHUNK_BITS = 12;
    static constexpr int32_t CHUNK_SIZE = 1 << CHUNK_BITS;  // slots per chunk
    static constexpr int32_t CHUNK_MASK = CHUNK_SIZE - 1;

    ChunkedArray() = default;
    ChunkedArray(const ChunkedArray&) = delete;             // elements are referred to by address
    ChunkedArray& operator=(const ChunkedArray&) = delete;

    int32_t Count() const { return _count; }

    T& operator[](int32_t i) { return _chunks[i >> CHUNK_BITS][i & CHUNK_MASK]; }
    const T& operator[](int32_t i) const { return _chunks[i >> CHUNK_BITS][i & CHUNK_MASK]; }

    // Stores value at index Count() and returns the stored element.
    T& Append(const T& value) {
        if ((_count & CHUNK_MASK) == 0 && (_count >> CHUNK_BITS) == static_cast<int32_t>(_chunks.size())) {
            _chunks.push_back(std::make_unique<T[]>(CHUNK_SIZE));
        }
        T& slot = (*this)[_count];
        slot = value;
        ++_count;
        return slot;
    }

    // The chunks as plain arrays: chunk c holds indices c * CHUNK_SIZE onwards, ChunkUsed(c) of them in use.
    T* ChunkData(int32_t chunk) { return _chunks[chunk].get(); }
    int32_t ChunkCount() const { return (_count + CHUNK_MASK) >> CHUNK_BITS; }
    int32_t ChunkUsed(int32_t chunk) const {
        int32_t left = _count - (chunk << CHUNK_BITS);
        return left < CHUNK_SIZE ? left : CHUNK_SIZE;
    }

private:
    std::vector<std::unique_ptr<T[]>> _chunks;
    int32_t _count = 0;
};

}  // namespace corvex
