#include "rtftokenizer.h"

#include <algorithm>
#include <bit>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool endsText(char c)
{
    return c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n' || c == '\0';
}

// The first byte at or after p that ends a text run, or end. Sixteen bytes at a time where the
// processor compares them side by side: a note is mostly runs of text.
const char *textEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi8('{');
    const __m128i close = _mm_set1_epi8('}');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i braces = _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close));
        const __m128i lines = _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf));
        const __m128i others = _mm_or_si128(_mm_cmpeq_epi8(v, backslash), _mm_cmpeq_epi8(v, nul));
        if (const int stops = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(braces, lines), others)))
            return p + std::countr_zero(static_cast<unsigned>(stops));
    }
#endif
    while (p < end && !endsText(*p))
        ++p;
    return p;
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
    const char *const begin = m_data.data();
    m_pos = textEnd(begin + m_pos, begin + m_data.size()) - begin;
    RtfToken token(RtfToken::Text);
    token.text = m_data.sliced(start, m_pos - start);
    return token;
}

void RtfTokenizer::appendTextBytes(std::string &out)
{
    const char *const begin = m_data.data();
    const char *const end = begin + m_data.size();
    const char *p = begin + m_pos;
    while (p < end) {
        const char c = *p;
        if (c == '\\') {
            if (end - p < 4 || p[1] != '\'')
                break;
            const int high = hexValue(p[2]);
            const int low = hexValue(p[3]);
            if (high < 0 || low < 0)
                break; // next() drops it
            out += char(high * 16 + low);
            p += 4;
        } else if (c == '{' || c == '}') {
            break;
        } else if (c == '\r' || c == '\n' || c == '\0') {
            ++p;
        } else {
            const char *const run = p;
            p = textEnd(p + 1, end);
            out.append(run, static_cast<std::size_t>(p - run));
        }
    }
    m_pos = p - begin;
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
