// Field values inside a record buffer: the text, numbers, dates and memo block numbers of the
// table's fields, to and from their bytes.
#include "dbffile.h"

#include "dbfbytes.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

using namespace dbfbytes;

namespace {

std::string trimRight(std::string s)
{
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string trimBoth(const std::string &s)
{
    const std::size_t b = s.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool allZero(const std::string &s)
{
    for (char c : s)
        if (c != 0)
            return false;
    return true;
}

// Parses a whole decimal integer (optional leading spaces and sign); false for anything else.
bool parseInteger(const std::string &text, long long &value)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+')
        negative = text[i++] == '-';
    if (i >= text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || v > 1000000000000LL)
            return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

std::string doubleText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

} // namespace

std::string TDbfFile::rawField(const std::uint8_t *record, int field) const
{
    const TDbfFieldDef &f = m_fields.at(static_cast<std::size_t>(field));
    return std::string(reinterpret_cast<const char *>(record + f.offset),
                       static_cast<std::size_t>(f.width));
}

std::string TDbfFile::fieldText(const std::uint8_t *record, int field) const
{
    const TDbfFieldDef &f = m_fields.at(static_cast<std::size_t>(field));
    if (f.letter == 'C') {
        // The most read of all: one string, made of the bytes before the padding.
        const char *bytes = reinterpret_cast<const char *>(record + f.offset);
        auto length = static_cast<std::size_t>(f.width);
        while (length >= 8 && std::memcmp(bytes + length - 8, "        ", 8) == 0)
            length -= 8; // titles are mostly padding
        while (length > 0 && bytes[length - 1] == ' ')
            --length;
        return m_codePage->toUtf8(std::string(bytes, length));
    }
    const std::string raw = rawField(record, field);
    switch (f.letter) {
    case 'N':
    case 'F':
    case 'D':
        return trimBoth(raw);
    case 'L': {
        const std::string v = trimBoth(raw);
        return v.empty() ? v : (v[0] == 'T' || v[0] == 't') ? "T" : "F";
    }
    case 'I':
    case '+': {
        if (f.width < 4 || allZero(raw))
            return {};
        const auto u = readBE32(record + f.offset) - 0x80000000u;
        return std::to_string(static_cast<std::int32_t>(u));
    }
    case 'O': {
        if (f.width < 8 || allZero(raw))
            return {};
        std::uint64_t bits = readBE64(record + f.offset);
        bits = (bits & (1ull << 63)) ? bits & ~(1ull << 63) : ~bits;
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return doubleText(v);
    }
    default:
        return trimRight(raw);
    }
}

void TDbfFile::setFieldBytes(std::uint8_t *record, int field, const std::string &bytes) const
{
    const TDbfFieldDef &f = m_fields.at(static_cast<std::size_t>(field));
    const std::size_t width = static_cast<std::size_t>(f.width);
    const std::size_t n = std::min(width, bytes.size());
    std::memset(record + f.offset, ' ', width);
    std::memcpy(record + f.offset, bytes.data(), n);
}

// The value in the table's code page, cut to `width` bytes. In a multi-byte code page the cut
// falls between characters, never inside one.
std::string TDbfFile::fitToWidth(const std::string &utf8, std::size_t width) const
{
    std::string bytes = m_codePage->fromUtf8(utf8);
    if (bytes.size() <= width || m_codePage->singleByte())
        return bytes;
    std::string text = utf8;
    while (bytes.size() > width && !text.empty()) {
        std::size_t cut = text.size() - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
        bytes = m_codePage->fromUtf8(text);
    }
    return bytes;
}

void TDbfFile::setFieldText(std::uint8_t *record, int field, const std::string &utf8) const
{
    const TDbfFieldDef &f = m_fields.at(static_cast<std::size_t>(field));
    const std::size_t width = static_cast<std::size_t>(f.width);
    switch (f.letter) {
    case 'C':
        setFieldBytes(record, field, fitToWidth(utf8, width));
        return;
    case 'N':
    case 'F': {
        std::string v = trimBoth(utf8);
        if (v.size() < width)
            v.insert(0, width - v.size(), ' ');
        setFieldBytes(record, field, v);
        return;
    }
    case 'I':
    case '+': {
        long long v = 0;
        if (f.width < 4)
            return;
        if (!parseInteger(utf8, v)) {
            std::memset(record + f.offset, 0, 4);
            return;
        }
        writeBE32(record + f.offset, static_cast<std::uint32_t>(v) + 0x80000000u);
        return;
    }
    case 'O': {
        if (f.width < 8)
            return;
        if (trimBoth(utf8).empty()) {
            std::memset(record + f.offset, 0, 8);
            return;
        }
        const double v = std::strtod(utf8.c_str(), nullptr);
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        bits = v >= 0 ? bits | (1ull << 63) : ~bits;
        writeBE64(record + f.offset, bits);
        return;
    }
    default:
        setFieldBytes(record, field, utf8);
    }
}

std::uint32_t TDbfFile::memoBlock(const std::uint8_t *record, int field) const
{
    long long v = 0;
    if (!parseInteger(trimRight(rawField(record, field)), v) || v < 0 || v > 0xFFFFFFFFLL)
        return 0;
    return static_cast<std::uint32_t>(v);
}

void TDbfFile::setMemoBlock(std::uint8_t *record, int field, std::uint32_t block) const
{
    const TDbfFieldDef &f = m_fields.at(static_cast<std::size_t>(field));
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*u", std::min(f.width, 20), block);
    setFieldBytes(record, field, digits);
}
