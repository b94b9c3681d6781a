#include "rtftokenizer.h"

#include <algorithm>
#include <limits>

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

RtfToken RtfTokenizer::next()
{
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos];
        switch (c) {
        case '{':
            ++m_pos;
            return RtfToken(RtfToken::GroupStart);
        case '}':
            ++m_pos;
            return RtfToken(RtfToken::GroupEnd);
        case '\\':
            if (std::optional<RtfToken> token = readControl())
                return *token;
            continue;
        case '\r':
        case '\n':
        case '\0':
            // Line ends are layout of the file, not of the text; NUL bytes are noise.
            ++m_pos;
            continue;
        default:
            return readText();
        }
    }
    return RtfToken();
}

RtfToken RtfTokenizer::readText()
{
    const qsizetype start = m_pos;
    while (m_pos < m_data.size()) {
        const char c = m_data[m_pos];
        if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n' || c == '\0')
            break;
        ++m_pos;
    }
    RtfToken token(RtfToken::Text);
    token.text = m_data.sliced(start, m_pos - start);
    return token;
}

std::optional<RtfToken> RtfTokenizer::readControl()
{
    ++m_pos; // the backslash
    if (m_pos >= m_data.size())
        return std::nullopt;
    const char c = m_data[m_pos];
    if (!isLetter(c)) {
        ++m_pos;
        if (c == '\'') {
            int high = m_pos < m_data.size() ? hexValue(m_data[m_pos]) : -1;
            int low = m_pos + 1 < m_data.size() ? hexValue(m_data[m_pos + 1]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt; // a broken \'x is dropped
            m_pos += 2;
            RtfToken token(RtfToken::HexByte);
            token.byte = uint8_t(high * 16 + low);
            return token;
        }
        RtfToken token(RtfToken::ControlSymbol);
        token.byte = uint8_t(c);
        // A backslash before a line end is an old way to write \par.
        if (c == '\r' || c == '\n')
            token.byte = '\n';
        return token;
    }

    const qsizetype nameStart = m_pos;
    while (m_pos < m_data.size() && isLetter(m_data[m_pos]))
        ++m_pos;
    RtfToken token(RtfToken::ControlWord);
    token.text = m_data.sliced(nameStart, std::min<qsizetype>(m_pos - nameStart, MaxWordLength));

    bool negative = false;
    if (m_pos < m_data.size() && m_data[m_pos] == '-' && m_pos + 1 < m_data.size() && isDigit(m_data[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    if (m_pos < m_data.size() && isDigit(m_data[m_pos])) {
        int64_t value = 0;
        while (m_pos < m_data.size() && isDigit(m_data[m_pos])) {
            if (value <= std::numeric_limits<int32_t>::max())
                value = value * 10 + (m_data[m_pos] - '0');
            ++m_pos;
        }
        value = negative ? -value : value;
        value = std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        token.hasParameter = true;
        token.parameter = int32_t(value);
    }
    // The delimiting space belongs to the control word.
    if (m_pos < m_data.size() && m_data[m_pos] == ' ')
        ++m_pos;

    if (token.text == "bin")
        return readBinary(token.hasParameter ? token.parameter : 0);
    return token;
}

std::optional<RtfToken> RtfTokenizer::readBinary(int32_t count)
{
    if (count <= 0)
        return std::nullopt;
    const qsizetype length = std::min<qsizetype>(count, m_data.size() - m_pos);
    RtfToken token(RtfToken::Binary);
    token.text = m_data.sliced(m_pos, length);
    m_pos += length;
    return token;
}
