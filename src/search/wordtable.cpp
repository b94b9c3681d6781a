#include "wordtable.h"

#include "textfold.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

} // namespace

void WordTable::grow()
{
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(1024, old.size() * 2), Slot{});
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot &slot : old) {
        if (!slot.number)
            continue;
        std::size_t i = slot.hash & mask;
        while (m_slots[i].number)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

std::uint32_t WordTable::add(std::string_view word)
{
    if (m_starts.size() * 2 >= m_slots.size())
        grow();
    return insert(word, hashOf(word, word.data() + word.size()));
}

// The table has room for one more word.
std::uint32_t WordTable::insert(std::string_view word, std::uint32_t hash)
{
    // Folded text holds no zero byte, so the zero-padded first eight bytes tell a word of seven
    // bytes or fewer from every other; a longer one is compared whole.
    std::uint64_t prefix = 0;
    std::memcpy(&prefix, word.data(), std::min<std::size_t>(word.size(), 8));
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot &slot = m_slots[i];
        if (!slot.number) {
            const auto n = static_cast<std::uint32_t>(m_starts.size());
            m_starts.push_back(static_cast<std::uint32_t>(m_text.size()));
            m_text.append(word);
            m_text += ' ';
            slot = {hash, n + 1, prefix};
            return n;
        }
        if (slot.hash != hash || slot.prefix != prefix)
            continue;
        const std::uint32_t n = slot.number - 1;
        if (word.size() < 8)
            return n;
        const std::size_t end = n + 1 < m_starts.size() ? m_starts[n + 1] : m_text.size();
        if (end - m_starts[n] - 1 == word.size()
            && sameBytes(m_text.data() + m_starts[n] + 8, word.data() + 8, word.size() - 8))
            return n;
    }
}

void WordTable::addText(std::string_view text, std::vector<std::uint32_t> &numbers)
{
    if (++m_call == 0) { // wrapped: forget every earlier call
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_call = 1;
    }
    m_batch.clear();
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t blank = std::min(text.find(' ', at), text.size());
        if (blank > at)
            m_batch.push_back({at, blank - at, hashOf(text.substr(at, blank - at), text.data() + text.size())});
        at = blank + 1;
    }
    while ((m_starts.size() + m_batch.size()) * 2 >= m_slots.size())
        grow();
    // The slots of a large vocabulary are far apart in memory: asking for all of them first lets
    // the processor fetch them side by side rather than one after another.
    const std::size_t mask = m_slots.size() - 1;
    for (const Word &w : m_batch)
        __builtin_prefetch(m_slots.data() + (w.hash & mask));
    for (const Word &w : m_batch) {
        const std::uint32_t n = insert(text.substr(w.at, w.length), w.hash);
        if (n >= m_seen.size())
            m_seen.resize(n + 1, 0);
        if (m_seen[n] != m_call) {
            m_seen[n] = m_call;
            numbers.push_back(n);
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
    m_slots.clear();
    m_seen.clear();
    m_call = 0;
}
