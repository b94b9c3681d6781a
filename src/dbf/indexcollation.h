// How the keys of an index tag are ordered.
//
// Two rules exist. The binary rule compares unsigned bytes and stops at a NUL byte; it serves
// tables without a language driver. The locale rule decodes the key bytes from the table's code
// page and compares them with an ICU collator at tertiary strength (letter case and accents
// count), for the locale that the table's language driver byte names. The root collation, which
// every installation of ICU has, is opened when a first key is compared rather than with the file.
#pragma once

#include "icucodepage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

    // Locale rule only: a key made ready to be compared with many others (a search's probe).
    struct Probe
    {
        std::string bytes;           // the key (its first 128 bytes)
        std::size_t asciiLength = 0; // up to the first NUL, when those bytes are ASCII
        bool isAscii = false;
        mutable bool decoded = false;
        mutable std::u16string text; // as the collator reads it, decoded when first needed
    };
    void prepare(const std::uint8_t *key, std::size_t length, Probe &out) const;
    // <0, 0, >0 as key a orders before, with or after the prepared key b.
    int compareToProbe(const std::uint8_t *a, std::size_t length, const Probe &b) const;

private:
    std::size_t decode(const std::uint8_t *key, std::size_t length, char16_t *out) const;
    int collate(const char16_t *a, std::size_t aLength, const char16_t *b, std::size_t bLength) const;
    // Two ASCII texts as UTF-8; nothing when the collator fails.
    std::optional<int> collateAscii(const std::uint8_t *a, std::size_t aLength, const std::uint8_t *b,
                                    std::size_t bLength) const;
    // The length up to the first NUL when the bytes read the same as ASCII text, else nothing.
    std::optional<std::size_t> asciiLength(const std::uint8_t *key, std::size_t length) const;

    // The collator, opened once by whichever thread compares first; throws EDbfError when ICU
    // cannot give it.
    const UCollator *collator() const;

    struct Collator;
    std::unique_ptr<Collator> m_collator; // none: the binary rule
    std::unique_ptr<TIcuCodePage> m_page; // multi-byte code pages only
    std::unique_ptr<char16_t[]> m_table;  // single-byte code pages: byte -> UTF-16 unit
    bool m_asciiAsIs = false;             // bytes below 0x80 decode to themselves
};
