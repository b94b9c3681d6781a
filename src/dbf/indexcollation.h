// How the keys of an index tag are ordered.
//
// Two rules exist. The binary rule compares unsigned bytes and stops at a NUL byte; it serves
// tables without a language driver. The locale rule decodes the key bytes from the table's code
// page and compares them with an ICU collator at tertiary strength (letter case and accents
// count), for the locale that the table's language driver byte names.
#pragma once

#include "icucodepage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IndexCollation
{
public:
    // Binary rule.
    IndexCollation();
    ~IndexCollation();
    IndexCollation(IndexCollation &&) noexcept;
    IndexCollation &operator=(IndexCollation &&) noexcept;
    IndexCollation(const IndexCollation &) = delete;
    IndexCollation &operator=(const IndexCollation &) = delete;

    // Locale rule for the locale of `languageDriver`, keys stored in `codePage` (one ICU does not
    // know reads as Windows-1252, like the table's text). Returns nothing when the byte names no
    // locale or ICU has no collation for it: an index file ordered that way cannot be used here.
    static std::optional<IndexCollation> forLanguageDriver(std::uint8_t languageDriver, int codePage);

    // The Windows locale identifier a language driver byte names; 0 means the platform's default
    // locale (ICU's root collation, the same in every process); nothing when the byte names no
    // locale.
    static std::optional<std::uint32_t> localeOfLanguageDriver(std::uint8_t languageDriver);
    // ICU locale name of a Windows locale identifier ("root" for the default locale, "" when
    // unknown).
    static std::string icuLocaleName(std::uint32_t lcid);

    bool isBinary() const { return m_collator == nullptr; }

    // <0, 0, >0 as a orders before, with or after b; both are `length` bytes long.
    int compare(const std::uint8_t *a, const std::uint8_t *b, std::size_t length) const;

    // Locale rule only: the collator's sort key of a key, valid until the next call of this or
    // compare. A search takes its probe's sort key once and compares it with compareToSortKey.
    std::string_view sortKey(const std::uint8_t *key, std::size_t length) const;
    // <0, 0, >0 as key a orders before, with or after the key whose sort key is `b`.
    int compareToSortKey(const std::uint8_t *a, std::size_t length, std::string_view b) const;

private:
    std::size_t decode(const std::uint8_t *key, std::size_t length, char16_t *out) const;
    void makeSortKey(const std::uint8_t *key, std::size_t length, std::string &out) const;

    TCollatorHandle m_collator;
    std::unique_ptr<TIcuCodePage> m_page; // multi-byte code pages only
    std::unique_ptr<char16_t[]> m_table;  // single-byte code pages: byte -> UTF-16 unit
    // Sort keys of the keys met lately, one per slot chosen by the key's hash: a search compares
    // one key with many, the same pages are searched again and again, and a hit costs a hash and
    // a memcmp, never an allocation.
    struct Slot
    {
        std::uint8_t length = 0xFF; // 0xFF: empty
        std::uint8_t key[128];
        std::string sortKey;
    };
    mutable std::vector<Slot> m_slots; // a power of two of them
    mutable std::size_t m_misses = 0;
    mutable std::string m_left; // compare's first sort key, while the second is looked up
};
