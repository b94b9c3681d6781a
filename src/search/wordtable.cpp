#include "wordtable.h"

#include "textfold.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace {

// The first n bytes of eight, by n.
constexpr std::uint64_t HeadMasks[9] = {0,
                                        0xFFull,
                                        0xFFFFull,
                                        0xFFFFFFull,
                                        0xFFFFFFFFull,
                                        0xFFFFFFFFFFull,
                                        0xFFFFFFFFFFFFull,
                                        0xFFFFFFFFFFFFFFull,
                                        ~0ull};

// Words are short: a multiply-and-shift hash over their first sixteen bytes, taken as two masked
// loads without a branch on the length, costs far less than the library's general one, and a
// build hashes every word of every record. Only a longer word hashes the rest eight bytes at a
// time. `end` is where the bytes readable after the word end.
inline WordKey keyOf(const char *p, std::size_t n, const char *end)
{
    WordKey key;
    if (std::endian::native == std::endian::little && end - p >= 16) {
        std::memcpy(key.head, p, 16);
        key.head[0] &= HeadMasks[std::min<std::size_t>(n, 8)];
        key.head[1] &= HeadMasks[std::min<std::size_t>(n > 8 ? n - 8 : 0, 8)];
    } else {
        key.head[0] = key.head[1] = 0;
        std::memcpy(key.head, p, std::min<std::size_t>(n, 16));
    }
    std::uint64_t h = (key.head[0] ^ (n * 0xC2B2AE3D27D4EB4Full)) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
    h = (h ^ key.head[1]) * 0xC4CEB9FE1A85EC53ull;
    if (n > 16) {
        p += 16;
        n -= 16;
        for (; n >= 8; n -= 8, p += 8) {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            h = (h ^ v) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        std::uint64_t v = 0;
        std::memcpy(&v, p, n);
        h = (h ^ v) * 0xC4CEB9FE1A85EC53ull;
    }
    h ^= h >> 29;
    key.hash = static_cast<std::uint32_t>(h ^ (h >> 32));
    return key;
}

inline bool sameBytes(const char *a, const char *b, std::size_t n)
{
    for (; n >= 8; n -= 8, a += 8, b += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y)
            return false;
    }
    for (; n > 0; --n)
        if (*a++ != *b++)
            return false;
    return true;
}

// The first blank at or after p, or end: eight bytes at a time, since most words are longer
// than a few letters.
inline const char *nextBlank(const char *p, const char *end)
{
    constexpr std::uint64_t Ones = 0x0101010101010101ull;
    constexpr std::uint64_t Blanks = Ones * ' ';
    for (; end - p >= 8; p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        v ^= Blanks; // a blank becomes a zero byte
        const std::uint64_t zero = (v - Ones) & ~v & (Ones << 7);
        if (zero)
            return p + (std::endian::native == std::endian::little ? std::countr_zero(zero) / 8
                                                                   : std::countl_zero(zero) / 8);
    }
    while (p < end && *p != ' ')
        ++p;
    return p;
}

} // namespace

WordTable::Slots::Slots(std::size_t count)
{
    const std::size_t bytes = count * sizeof(Slot);
    if (bytes >= (std::size_t{1} << 20)) {
        void *area = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (area != MAP_FAILED) {
            m_slots = static_cast<Slot *>(area);
            m_mapped = bytes;
            return;
        }
    }
    m_slots = static_cast<Slot *>(std::calloc(count, sizeof(Slot)));
    if (!m_slots)
        throw std::bad_alloc();
}

WordTable::Slots::~Slots()
{
    if (m_mapped)
        ::munmap(m_slots, m_mapped);
    else
        std::free(m_slots);
}

// Makes room for `words` more words at most half the slots full.
void WordTable::grow(std::size_t words)
{
    const std::size_t needed = (m_starts.size() + words) * 2;
    if (needed < m_slotCount)
        return;
    std::size_t count = std::max<std::size_t>(1024, m_slotCount);
    while (count <= needed)
        count *= 2;
    Slots old = std::exchange(m_slots, Slots(count));
    Slot *table = m_slots.get();
    const std::size_t oldCount = std::exchange(m_slotCount, count);
    const std::size_t mask = count - 1;
    for (std::size_t k = 0; k < oldCount; ++k) {
        const Slot &slot = old[k];
        if (!slot.number)
            continue;
        std::size_t i = slot.hash & mask;
        while (table[i].number)
            i = (i + 1) & mask;
        table[i] = slot;
    }
}

std::uint32_t WordTable::add(std::string_view word)
{
    grow(1);
    return insert(keyOf(word.data(), word.size(), word.data() + word.size()), word).number - 1;
}

// A new word into its empty slot: rare beside the lookups, so kept out of their loop.
__attribute__((noinline)) void WordTable::fill(Slot &slot, const WordKey &key, std::string_view word)
{
    const auto at = static_cast<std::uint32_t>(m_text.size());
    m_starts.push_back(at);
    m_text.append(word);
    m_text += ' ';
    slot.head[0] = key.head[0];
    slot.head[1] = key.head[1];
    slot.hash = key.hash;
    slot.number = static_cast<std::uint32_t>(m_starts.size());
    slot.at = at;
}

// The slot of `word`, filled when the word is new. The table has room for one more word.
// Inlined in the loop of addText, which calls it for every word of every record.
__attribute__((always_inline)) inline WordTable::Slot &WordTable::insert(const WordKey &key, std::string_view word)
{
    // Folded text holds no zero byte, so the zero-padded first sixteen bytes tell a word of
    // fifteen bytes or fewer from every other; only a longer one is compared in m_text.
    const std::size_t mask = m_slotCount - 1;
    for (std::size_t i = key.hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (!slot.number) {
            fill(slot, key, word);
            return slot;
        }
        if (slot.hash != key.hash || slot.head[0] != key.head[0] || slot.head[1] != key.head[1])
            continue;
        if (word.size() < 16)
            return slot;
        // A word of m_text ends at its blank, which no word holds.
        if (slot.at + word.size() < m_text.size() && m_text[slot.at + word.size()] == ' '
            && sameBytes(m_text.data() + slot.at + 16, word.data() + 16, word.size() - 16))
            return slot;
    }
}

void WordTable::addText(std::string_view text, std::vector<std::uint32_t> &numbers)
{
    if (++m_call == 0) { // wrapped: forget every earlier call
        for (std::size_t i = 0; i < m_slotCount; ++i)
            m_slots[i].seen = 0;
        m_call = 1;
    }
    m_batch.clear();
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    for (const char *p = begin; p < end;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        const char *start = p;
        p = nextBlank(p, end);
        const auto length = static_cast<std::size_t>(p - start);
        m_batch.push_back({static_cast<std::uint32_t>(start - begin), static_cast<std::uint32_t>(length),
                           keyOf(start, length, end)});
    }
    grow(m_batch.size());
    // The slots of a large vocabulary are far apart in memory: asking for all of them first lets
    // the processor fetch them side by side rather than one after another.
    const std::size_t mask = m_slotCount - 1;
    for (const Word &w : m_batch)
        __builtin_prefetch(m_slots.get() + (w.key.hash & mask));
    // A word met again in the same text is common and unforeseeable: its number is written
    // anyway and kept or not without a branch.
    const std::size_t had = numbers.size();
    numbers.resize(had + m_batch.size());
    std::uint32_t *out = numbers.data() + had;
    for (const Word &w : m_batch) {
        Slot &slot = insert(w.key, text.substr(w.at, w.length));
        *out = slot.number - 1;
        out += slot.seen != m_call;
        slot.seen = m_call;
    }
    numbers.resize(static_cast<std::size_t>(out - numbers.data()));
}

void WordTable::find(const std::string &queryWord, Bits &found) const
{
    found.words.assign((m_starts.size() + 63) / 64, 0);
    found.count = 0;
    if (queryWord.empty())
        return;
    const char *base = m_text.data();
    const std::size_t size = m_text.size();
    std::size_t from = 0;
    while (from + queryWord.size() <= size) {
        const void *hit = ::memmem(base + from, size - from, queryWord.data(), queryWord.size());
        if (!hit)
            return;
        const auto at = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        if (!TextFold::startsWord(m_text, at)) {
            from = at + 1;
            continue;
        }
        // The word holding the hit; the search goes on with the next word.
        const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), static_cast<std::uint32_t>(at));
        const auto n = static_cast<std::uint32_t>(next - m_starts.begin() - 1);
        found.words[n / 64] |= std::uint64_t{1} << (n % 64);
        ++found.count;
        from = next == m_starts.end() ? size : *next;
    }
}

void WordTable::clear()
{
    m_text.clear();
    m_starts.clear();
    m_slots = Slots();
    m_slotCount = 0;
    m_call = 0;
}
