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
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A word's first sixteen bytes, zero-padded, and its hash.
struct WordKey
{
    std::uint64_t head[2];
    std::uint32_t hash;
};

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
        std::uint64_t head[2]; // WordKey::head
        std::uint32_t hash;
        std::uint32_t number;
        std::uint32_t at;
        std::uint32_t seen;
    };
    struct Word
    {
        std::uint32_t at;
        std::uint32_t length;
        WordKey key;
    };
    // Zeroed slots. A large table is mapped with its pages filled in at once: its slots are
    // visited at random, and faulting each page in on its first visit costs more than the
    // clearing itself.
    class Slots
    {
    public:
        Slots() = default;
        explicit Slots(std::size_t count);
        ~Slots();
        Slots(Slots &&other) noexcept { swap(other); }
        Slots &operator=(Slots &&other) noexcept
        {
            Slots(std::move(other)).swap(*this);
            return *this;
        }
        Slot &operator[](std::size_t i) const { return m_slots[i]; }
        Slot *get() const { return m_slots; }

    private:
        void swap(Slots &other) noexcept
        {
            std::swap(m_slots, other.m_slots);
            std::swap(m_mapped, other.m_mapped);
        }
        Slot *m_slots = nullptr;
        std::size_t m_mapped = 0; // bytes mapped, 0 when from calloc
    };
    void grow(std::size_t words);
    Slot &insert(const WordKey &key, std::string_view word);
    void fill(Slot &slot, const WordKey &key, std::string_view word);

    std::string m_text;                  // every word followed by one blank
    std::vector<std::uint32_t> m_starts; // where word n begins in m_text
    Slots m_slots;
    std::size_t m_slotCount = 0; // a power of two, or 0
    std::uint32_t m_call = 0;    // addText calls since the slots' stamps were last cleared
    std::vector<Word> m_batch;   // addText's words, kept for the next call
};
