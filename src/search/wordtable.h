// The distinct words of a table's folded text, each kept once and numbered.
//
// A "word" here is a run of folded text between blanks ("l'ecole", "jean@exemple.fr"): a query
// word holds no blank, so wherever it begins a word of a record's text it lies inside one such
// run. Records keep the numbers of their runs; a query word is looked for once in this table,
// whose size grows with the vocabulary rather than with the number of records, and a record then
// matches by its numbers alone.
//
//     WordTable words;
//     const std::uint32_t n = words.add("l'ecole");
//     WordTable::Bits found;
//     words.find("ecole", found);   // found.test(n): "ecole" begins a word of "l'ecole"
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class WordTable
{
public:
    // One bit per word number.
    struct Bits
    {
        std::vector<std::uint64_t> words;
        std::size_t count = 0; // bits set
        bool test(std::uint32_t n) const
        {
            return n / 64 < words.size() && (words[n / 64] >> (n % 64) & 1u);
        }
    };

    // The number of `word` (which holds no blank and no zero byte, as folded text), added when new.
    std::uint32_t add(std::string_view word);
    // Appends to `numbers` the number of every word of `text` (words between blanks), each once.
    void addText(std::string_view text, std::vector<std::uint32_t> &numbers);
    // Sets in `found` the words in which `queryWord` begins a word (TextFold::startsWord).
    void find(const std::string &queryWord, Bits &found) const;
    std::size_t size() const { return m_starts.size(); }
    void clear();

private:
    // Open addressing: a slot holds a word's 32-bit hash, its number + 1 (0: empty), where it
    // lies in m_text, the last addText call that met it, and its first sixteen bytes,
    // zero-padded. A library map would allocate a node per word, and a table is built of a
    // million of them. Everything a lookup reads lies in the slot's half of a cache line: for
    // the rare words of a large vocabulary (names, places, codes) each other array visited
    // would be one more wait on memory.
    struct alignas(32) Slot
    {
        char prefix[16];
        std::uint32_t hash;
        std::uint32_t number;
        std::uint32_t at;
        std::uint32_t seen;
    };
    struct Word
    {
        std::uint32_t at;
        std::uint32_t length;
        std::uint32_t hash;
    };
    struct FreeSlots
    {
        void operator()(Slot *slots) const;
    };
    void grow(std::size_t words);
    Slot &insert(std::string_view word, std::uint32_t hash, const char *end);

    std::string m_text;                  // every word followed by one blank
    std::vector<std::uint32_t> m_starts; // where word n begins in m_text
    std::unique_ptr<Slot[], FreeSlots> m_slots;
    std::size_t m_slotCount = 0; // a power of two, or 0
    std::uint32_t m_call = 0;    // addText calls since the slots' stamps were last cleared
    std::vector<Word> m_batch;   // addText's words, kept for the next call
};
