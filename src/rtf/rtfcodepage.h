// Conversion between a Windows code page and Unicode for the RTF reader and writer.
//
// RTF documents name their code pages by Windows number (\ansicpg1252, \fcharset238 -> 1250).
// Qt only converts the UTF encodings and Latin-1 itself, so every page goes through the engine's
// ICU wrapper, which also decides what an unknown page falls back to.
#pragma once

#include "icucodepage.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <map>
#include <memory>
#include <optional>

class RtfCodePage
{
public:
    // An unknown or unsupported number gives an invalid page that decodes as Windows-1252 would
    // and encodes nothing, so callers fall back to \uN.
    explicit RtfCodePage(int number);
    ~RtfCodePage();
    RtfCodePage(const RtfCodePage &) = delete;
    RtfCodePage &operator=(const RtfCodePage &) = delete;

    int number() const { return m_number; }
    bool isValid() const { return m_valid; }
    // True when the printable ASCII bytes and the tab stand for themselves in this page, so
    // that a run of them needs no decoding.
    bool keepsAscii() const { return m_keepsAscii; }

    // Decodes bytes of this page; bytes the page does not map become U+FFFD.
    QString decode(const QByteArray &bytes) const;
    // A single-byte page's character of each byte (U+FFFD where it has none); null for other pages.
    const std::array<char16_t, 256> *byteCharacters() const { return m_bytes.get(); }

    // The bytes of one character in this page, or nothing when the page cannot hold it exactly
    // (no best-fit substitutes: a character written as a look-alike would not read back).
    std::optional<QByteArray> encode(char32_t ch) const;

    // The code page of an RTF \fcharset value, or 0 when the charset does not name one (0 ANSI
    // and 1 default follow the document's page; 2 symbol is handled by the caller).
    static int fromCharset(int charset);

private:
    int m_number;
    bool m_valid = false;
    bool m_keepsAscii = false;
    TIcuCodePage m_page;
    // A single-byte page's characters by byte, so that decoding needs no converter call.
    std::unique_ptr<std::array<char16_t, 256>> m_bytes;
    mutable QHash<char32_t, std::optional<QByteArray>> m_encodeCache;
};

// The pages a pass over a document has met, each opened once: opening a converter is costly.
class RtfCodePages
{
public:
    RtfCodePage &operator[](int number);

private:
    std::map<int, std::unique_ptr<RtfCodePage>> m_pages;
};
