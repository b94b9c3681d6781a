// Code pages of tables: which one a table uses, and conversion between its bytes and UTF-8.
//
// The language driver byte (header offset 29) names the code page through a fixed table; tables
// with the 68-byte header name it in the language driver name at offset 32. Byte 0 and bytes
// without an entry mean the system OEM code page. The "system" ANSI and OEM code pages are chosen
// from the user's locale the way the desktop this file format comes from chooses them (Western
// European: 1252 and 850), and can be set for tests.
#pragma once

#include "icucodepage.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace codepage {

// Code page of a language driver byte; 0 when the byte has no entry (meaning the OEM code page).
int ofLanguageDriver(std::uint8_t ldid);
// Code page named by the 32-byte language driver name of a 68-byte header; 0 when none.
int ofLanguageDriverName(const std::uint8_t *name, std::size_t len);

int systemAnsi();
int systemOem();
// Replaces the code pages taken from the locale (tests; 0 restores the locale's choice).
void setSystem(int ansi, int oem);

// What ICU reads each byte of a single-byte code page as (U+FFFD where undefined), taken at
// build time; nothing for a code page not known then.
const std::array<char16_t, 256> *builtInDecoding(int codePage);

// Appends the UTF-8 bytes of one code point.
void appendUtf8(std::string &out, char32_t cp);

} // namespace codepage

// Conversion between one code page and UTF-8. Single-byte code pages go through tables built once
// from what ICU reads each byte as, taken at build time for the code pages tables and locales name
// (ICU itself is then not touched), else from ICU at run time (the ASCII control bytes map to themselves, bytes the code page leaves undefined map to
// U+0080-U+00FF so that they survive a round trip): each byte to its whole UTF-8 sequence, and each
// character of the Basic Multilingual Plane back to its byte through a two-level table, with runs
// of ASCII copied eight bytes at a time. Multi-byte code pages go through ICU. A code page ICU
// does not know reads as Windows-1252 (TIcuCodePage's fallback).
class TCodePage
{
public:
    explicit TCodePage(int codePage);
    ~TCodePage();
    TCodePage(const TCodePage &) = delete;
    TCodePage &operator=(const TCodePage &) = delete;

    int number() const { return m_number; }
    // False when ICU has no converter for this code page: the table is then read-only and its
    // bytes are shown as Windows-1252.
    bool valid() const { return m_valid; }
    bool singleByte() const { return m_singleByte; }
    // Single-byte code pages whose bytes below 0x80 are ASCII, so plain text needs no conversion.
    bool asciiSame() const { return m_singleByte && m_asciiSame; }

    std::string toUtf8(const std::string &bytes) const;
    // The same, handing back the bytes' own string when they read as themselves.
    std::string toUtf8(std::string &&bytes) const;
    // Characters the code page cannot hold become '?'; callers check canEncode first.
    std::string fromUtf8(const std::string &utf8) const;
    bool canEncode(const std::string &utf8) const;
    // Single-byte code pages: the byte of a character, or -1 when the code page lacks it.
    int encodeChar(char32_t c) const;
    char32_t decodeByte(std::uint8_t b) const { return m_toUnicode[b]; }

private:
    // The UTF-8 bytes of one byte of the code page; always 4 bytes wide so that a copy of it
    // needs no length test (at most 3 are used: every entry lies in the Basic Multilingual Plane).
    struct Utf8Bytes
    {
        char bytes[4];
        std::uint8_t length;
    };
    // Bytes of the characters U+xx00-U+xxFF for one high byte xx; -1 where the page has none.
    using EncodePage = std::array<std::int16_t, 256>;

    // decoded[b]: what ICU reads byte b as, U+FFFD where the page leaves it undefined.
    void buildTables(const std::array<char16_t, 256> &decoded);
    void addEncoding(char32_t c, std::uint8_t byte);
    std::string singleByteToUtf8(const std::string &bytes, std::size_t plain) const;

    int m_number;
    bool m_valid = false;
    bool m_singleByte = false;
    bool m_asciiSame = false; // bytes below 0x80 are their own characters both ways
    std::array<char32_t, 256> m_toUnicode{};
    std::array<Utf8Bytes, 256> m_toUtf8{};
    // m_encodePages[m_encodePageOf[c >> 8]][c & 0xFF]; page 0 is empty and shared by every high
    // byte the code page never reaches.
    std::array<std::uint8_t, 256> m_encodePageOf{};
    std::vector<EncodePage> m_encodePages;
    std::unique_ptr<TIcuCodePage> m_icu; // none for a single-byte page known at build time
};

// Byte-to-byte translation of memo text from a table's code page to the program's ANSI code page
// and back (both directions keep single-byte text the same length).
class TMemoTranslation
{
public:
    TMemoTranslation(const TCodePage &table, const TCodePage &ansi);
    std::string toAnsi(const std::string &bytes) const;
    std::string fromAnsi(const std::string &bytes) const;

private:
    static std::string translate(const std::string &bytes, const std::array<char, 256> &table);

    const TCodePage &m_table;
    const TCodePage &m_ansi;
    bool m_identity;
    bool m_asciiSame;
    bool m_byTable; // both pages single-byte: one byte to one byte through the tables below
    std::array<char, 256> m_toAnsi{};
    std::array<char, 256> m_fromAnsi{};
};
