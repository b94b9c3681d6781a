#include "indexbuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this a huge page would mostly hold nothing.
constexpr std::size_t kLeastMapped = std::size_t(1) << 20;

} // namespace

void TIndexBuffer::reserve(std::size_t size)
{
    if (size <= m_size)
        return;
    TIndexBuffer grown;
    grown.allocate(std::max(size, 2 * m_size));
    if (m_size > 0)
        std::memcpy(grown.m_data, m_data, m_size);
    std::swap(m_data, grown.m_data);
    std::swap(m_size, grown.m_size);
    std::swap(m_mapping, grown.m_mapping);
    std::swap(m_mappingSize, grown.m_mappingSize);
}

void TIndexBuffer::allocate(std::size_t size)
{
    if (size < kLeastMapped) {
        m_data = new std::uint8_t[size];
        m_size = size;
        return;
    }
    // One huge page more than needed, so that the buffer can start on a huge page boundary.
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void *mapping = ::mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        throw std::bad_alloc();
    m_mapping = mapping;
    m_mappingSize = rounded + kHugePage;
    const auto address = reinterpret_cast<std::uintptr_t>(mapping);
    m_data = reinterpret_cast<std::uint8_t *>((address + kHugePage - 1) / kHugePage * kHugePage);
    m_size = rounded;
    ::madvise(m_data, rounded, MADV_HUGEPAGE); // a request: without huge pages it still works
}

void TIndexBuffer::release()
{
    if (m_mapping)
        ::munmap(m_mapping, m_mappingSize);
    else
        delete[] m_data;
    m_mapping = nullptr;
    m_mappingSize = 0;
    m_data = nullptr;
    m_size = 0;
}
