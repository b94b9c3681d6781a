// Splits RTF bytes into tokens: group delimiters, control words and symbols, hex bytes and text.
//
// The tokenizer never fails. Whatever the bytes are, it returns a finite sequence of tokens and
// then End: parameters are clamped to the 32-bit range, over-long control words are cut, the
// data of \binN comes as one Binary token (cut at the end of the bytes), and NUL bytes count as
// nothing.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <string>

struct RtfToken
{
    enum Kind { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, HexByte, Text, Binary };

    RtfToken() = default;
    explicit RtfToken(Kind k) : kind(k) {}

    Kind kind = End;
    // Control word name (letters only) or the symbol character; the bytes of a Text or Binary token.
    QByteArrayView text;
    bool hasParameter = false;
    int32_t parameter = 0;
    // HexByte: the byte value; ControlSymbol: the symbol.
    uint8_t byte = 0;
};

class RtfTokenizer
{
public:
    explicit RtfTokenizer(QByteArrayView bytes) : m_data(bytes) {}

    RtfToken next();
    qsizetype position() const { return m_pos; }
    // Reads on through the Text and HexByte tokens that come next, appending their bytes to
    // `out`, and stops before any other token or a broken \'x: what next() would give one by
    // one, for a reader that keeps both kinds alike. The line ends and NUL bytes between them
    // count as nothing.
    void appendTextBytes(std::string &out);

    // Longest control word name kept; the rest of a longer name is dropped.
    static constexpr int MaxWordLength = 32;

private:
    // Nothing when the control produced no token (an empty \bin, a broken \'x).
    std::optional<RtfToken> readControl();
    RtfToken readText();
    std::optional<RtfToken> readBinary(int32_t count);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
};
