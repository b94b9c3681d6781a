#include "wordtable.h"

#include "textfold.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Words are short: a multiply-and-shift hash over eight bytes at a time, inlined, costs far less
// than the library's general one, and a build hashes every word of every record.
// `end` is where the bytes readable after the word end: the last few are read as one load and
// masked when eight of them are there, rather than copied one by one.
inline std::uint32_t hashOf(std::string_view word, const char *end)
{
    const char *p = word.data();
    std::size_t n = word.size();
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ (n * 0xC2B2AE3D27D4EB4Full);
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        h = (h ^ v) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    std::uint64_t v = 0;
    if (std::endian::native == std::endian::little && n > 0 && end - p >= 8) {
        std::memcpy(&v, p, 8);
        v &= ~std::uint64_t{0} >> (64 - 8 * n); // the first n bytes
    } else {
        for (std::size_t k = 0; k < n; ++k)
            v |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    }
    h = (h ^ v) * 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
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

// The first sixteen bytes of a word, zero-padded; `end` as for hashOf.
inline void prefixOf(std::string_view word, const char *end, char prefix[16])
{
    const std::size_t n = std::min<std::size_t>(word.size(), 16);
    if (std::endian::native == std::endian::little && end - word.data() >= 16) {
        std::uint64_t v[2];
        std::memcpy(v, word.data(), 16);
        if (n < 8) {
            v[0] &= n == 0 ? 0 : ~std::uint64_t{0} >> (64 - 8 * n);
            v[1] = 0;
        } else if (n < 16) {
            v[1] &= n == 8 ? 0 : ~std::uint64_t{0} >> (64 - 8 * (n - 8));
        }
        std::memcpy(prefix, v, 16);
        return;
    }
    std::memset(prefix, 0, 16);
    std::memcpy(prefix, word.data(), n);
}

} // namespace

void WordTable::FreeSlots::operator()(Slot *table) const
{
    std::free(table);
}

// Makes room for `words` more words at most half the slots full. The slots come zeroed from
// calloc, which for a large table maps pages the system has already cleared.
void WordTable::grow(std::size_t words)
{
    const std::size_t needed = (m_starts.size() + words) * 2;
    if (needed < m_slotCount)
        return;
    std::size_t count = std::max<std::size_t>(1024, m_slotCount);
    while (count <= needed)
        count *= 2;
    auto *table = static_cast<Slot *>(std::calloc(count, sizeof(Slot)));
    if (!table)
        throw std::bad_alloc();
    std::unique_ptr<Slot[], FreeSlots> old(std::exchange(m_slots, std::unique_ptr<Slot[], FreeSlots>(table)));
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
    const char *end = word.data() + word.size();
    return insert(word, hashOf(word, end), end).number - 1;
}

// The slot of `word`, filled when the word is new; `end` as for hashOf. The table has room for
// one more word.
WordTable::Slot &WordTable::insert(std::string_view word, std::uint32_t hash, const char *end)
{
    // Folded text holds no zero byte, so the zero-padded first sixteen bytes tell a word of
    // fifteen bytes or fewer from every other; only a longer one is compared in m_text.
    char prefix[16];
    prefixOf(word, end, prefix);
    const std::size_t mask = m_slotCount - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (!slot.number) {
            const auto at = static_cast<std::uint32_t>(m_text.size());
            m_starts.push_back(at);
            m_text.append(word);
            m_text += ' ';
            std::memcpy(slot.prefix, prefix, 16);
            slot.hash = hash;
            slot.number = static_cast<std::uint32_t>(m_starts.size());
            slot.at = at;
            return slot;
        }
        if (slot.hash != hash || std::memcmp(slot.prefix, prefix, 16) != 0)
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
        const std::string_view word(start, static_cast<std::size_t>(p - start));
        m_batch.push_back({static_cast<std::uint32_t>(start - begin), static_cast<std::uint32_t>(word.size()),
                           hashOf(word, end)});
    }
    grow(m_batch.size());
    // The slots of a large vocabulary are far apart in memory: asking for all of them first lets
    // the processor fetch them side by side rather than one after another.
    const std::size_t mask = m_slotCount - 1;
    for (const Word &w : m_batch)
        __builtin_prefetch(m_slots.get() + (w.hash & mask));
    for (const Word &w : m_batch) {
        Slot &slot = insert(text.substr(w.at, w.length), w.hash, end);
        if (slot.seen != m_call) {
            slot.seen = m_call;
            numbers.push_back(slot.number - 1);
        }
    }
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
    m_slots.reset();
    m_slotCount = 0;
    m_call = 0;
}
