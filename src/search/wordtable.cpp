#include "wordtable.h"

#include "textfold.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t hashOf(std::string_view word)
{
    const std::size_t h = std::hash<std::string_view>{}(word);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

} // namespace

std::string_view WordTable::wordAt(std::uint32_t n) const
{
    const std::size_t end = n + 1 < m_starts.size() ? m_starts[n + 1] : m_text.size();
    return std::string_view(m_text).substr(m_starts[n], end - m_starts[n] - 1);
}

void WordTable::grow()
{
    std::vector<std::uint64_t> old = std::move(m_slots);
    m_slots.assign(std::max<std::size_t>(1024, old.size() * 2), 0);
    const std::size_t mask = m_slots.size() - 1;
    for (std::uint64_t slot : old) {
        if (!slot)
            continue;
        std::size_t i = (slot >> 32) & mask;
        while (m_slots[i])
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

std::uint32_t WordTable::add(std::string_view word)
{
    if (m_starts.size() * 2 >= m_slots.size())
        grow();
    const std::uint32_t hash = hashOf(word);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = m_slots[i];
        if (!slot) {
            const auto n = static_cast<std::uint32_t>(m_starts.size());
            m_starts.push_back(static_cast<std::uint32_t>(m_text.size()));
            m_text.append(word);
            m_text += ' ';
            m_slots[i] = std::uint64_t{hash} << 32 | (n + 1);
            return n;
        }
        const auto n = static_cast<std::uint32_t>(slot) - 1;
        if (slot >> 32 == hash && wordAt(n) == word)
            return n;
    }
}

void WordTable::addText(std::string_view text, std::vector<std::uint32_t> &numbers)
{
    if (++m_call == 0) { // wrapped: forget every earlier call
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_call = 1;
    }
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t blank = std::min(text.find(' ', at), text.size());
        if (blank > at) {
            const std::uint32_t n = add(text.substr(at, blank - at));
            if (n >= m_seen.size())
                m_seen.resize(n + 1, 0);
            if (m_seen[n] != m_call) {
                m_seen[n] = m_call;
                numbers.push_back(n);
            }
        }
        at = blank + 1;
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
