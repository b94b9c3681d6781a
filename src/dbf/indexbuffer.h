// Scratch memory of long index walks: records read ahead and the spans they are read from.
//
// Large buffers are mapped in huge pages where the system offers them (transparent huge pages on
// request): filling megabytes of fresh small pages one fault at a time can cost more than reading
// the records into them. Small ones come from the heap.
#pragma once

#include <cstddef>
#include <cstdint>

class TIndexBuffer
{
public:
    TIndexBuffer() = default;
    ~TIndexBuffer() { release(); }
    TIndexBuffer(const TIndexBuffer &) = delete;
    TIndexBuffer &operator=(const TIndexBuffer &) = delete;

    // Room for at least `size` bytes, the bytes held so far kept; throws std::bad_alloc when
    // there is no memory.
    void reserve(std::size_t size);
    void release();
    std::uint8_t *data() { return m_data; }
    const std::uint8_t *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    void allocate(std::size_t size);

    std::uint8_t *m_data = nullptr;
    std::size_t m_size = 0;
    void *m_mapping = nullptr; // or nullptr when m_data came from the heap
    std::size_t m_mappingSize = 0;
};
