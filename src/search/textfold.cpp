#include "textfold.h"

#include "codepage.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace TextFold {
namespace {

// Letters that neither decomposition nor case folding split, but that people type as two
// letters or without their stroke.
const char *spreadLetter(UChar32 c)
{
    switch (c) {
    case 0x00E6: return "ae"; // æ
    case 0x0153: return "oe"; // œ
    case 0x00F8: return "o";  // ø
    case 0x0142: return "l";  // ł
    case 0x0111: return "d";  // đ
    case 0x0131: return "i";  // ı
    default: return nullptr;
    }
}

void appendClassified(UChar32 c, std::string &out)
{
    if (c < 0x80) {
        out += (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
    } else if (const char *spread = spreadLetter(c)) {
        out += spread;
    } else if (u_isalnum(c) || u_charType(c) == U_COMBINING_SPACING_MARK
               || u_charType(c) == U_ENCLOSING_MARK) {
        codepage::appendUtf8(out, static_cast<char32_t>(c));
    } else if (c == 0x2018 || c == 0x2019 || c == 0x201B || c == 0x02BC) {
        out += '\''; // typographic apostrophes read as the typed one: "l’école" is "l'école"
    } else if ((c >= 0x2010 && c <= 0x2015) || c == 0x2212) {
        out += '-';
    } else {
        out += ' ';
    }
}

// One character through ICU: decomposed, stripped of its non-spacing marks, case-folded.
void foldSlow(UChar32 c, std::string &out)
{
    UChar source[2];
    int32_t sourceLength = 0;
    U16_APPEND_UNSAFE(source, sourceLength, c);
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2 *nfd = unorm2_getNFDInstance(&error);
    UChar decomposed[32];
    int32_t length = U_SUCCESS(error)
                         ? unorm2_normalize(nfd, source, sourceLength, decomposed, 32, &error)
                         : 0;
    if (U_FAILURE(error) || length > 32) {
        std::memcpy(decomposed, source, sizeof(UChar) * sourceLength);
        length = sourceLength;
    }
    UChar bare[32];
    int32_t bareLength = 0;
    for (int32_t i = 0; i < length;) {
        UChar32 cp;
        U16_NEXT_UNSAFE(decomposed, i, cp);
        if (u_charType(cp) != U_NON_SPACING_MARK)
            U16_APPEND_UNSAFE(bare, bareLength, cp);
    }
    UChar folded[96];
    error = U_ZERO_ERROR;
    int32_t foldedLength = u_strFoldCase(folded, 96, bare, bareLength, U_FOLD_CASE_DEFAULT, &error);
    if (U_FAILURE(error) || foldedLength > 96)
        return;
    for (int32_t i = 0; i < foldedLength;) {
        UChar32 cp;
        U16_NEXT_UNSAFE(folded, i, cp);
        appendClassified(cp, out);
    }
}

// The folded bytes of every character of the basic plane, worked out through ICU a block of
// 256 at a time, the first time a character of the block is met.
struct Entry
{
    std::uint8_t length = 0;
    char bytes[15] = {};
};
std::array<Entry, 0x10000> table;
std::array<std::once_flag, 256> filled;

void fillBlock(int block)
{
    std::string bytes;
    for (int c = block << 8; c < ((block + 1) << 8); ++c) {
        bytes.clear();
        if (!U16_IS_SURROGATE(c))
            foldSlow(c, bytes);
        Entry &entry = table[c];
        entry.length = static_cast<std::uint8_t>(std::min<std::size_t>(bytes.size(), sizeof entry.bytes));
        std::memcpy(entry.bytes, bytes.data(), entry.length);
    }
}

inline const Entry &entryOf(char16_t c)
{
    std::call_once(filled[c >> 8], fillBlock, c >> 8);
    return table[c];
}

// The folded byte of each ASCII character.
constexpr std::array<char, 128> AsciiFolds = [] {
    std::array<char, 128> folds{};
    for (int c = 0; c < 128; ++c)
        folds[c] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : ' ';
    return folds;
}();

inline void appendAscii(char16_t c, std::string &out)
{
    out += AsciiFolds[c];
}

// Folds the run of ASCII characters at text[i] in one go; i moves past it.
template <typename Unit>
void appendAsciiRun(const Unit *text, std::size_t size, std::size_t &i, std::string &out)
{
    std::size_t end = i;
    while (end < size && static_cast<std::make_unsigned_t<Unit>>(text[end]) < 0x80)
        ++end;
    const std::size_t at = out.size();
    out.resize(at + (end - i));
    char *o = out.data() + at;
    for (; i < end; ++i)
        *o++ = AsciiFolds[static_cast<std::make_unsigned_t<Unit>>(text[i])];
}

// The code point of the UTF-8 sequence at text[i] (not ASCII), i moved past it; -1 for a byte
// that begins no valid sequence, i moved past that byte alone.
UChar32 nextCodePoint(std::string_view text, std::size_t &i)
{
    const auto b = static_cast<unsigned char>(text[i]);
    const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    UChar32 c = b & (0x3F >> (length - 1));
    if (b < 0xC2 || b > 0xF4 || i + length > text.size()) {
        ++i;
        return -1;
    }
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr UChar32 least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || U_IS_SURROGATE(c)) {
        ++i;
        return -1;
    }
    i += length;
    return c;
}

template <typename Mark>
void foldInto(QStringView text, std::string &out, Mark mark)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const std::size_t before = out.size();
        if (c < 0x80) {
            appendAscii(c, out);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            foldSlow(QChar::surrogateToUcs4(c, text[i + 1].unicode()), out);
            mark(before, i);
            ++i;
            continue;
        } else {
            const Entry &entry = entryOf(c);
            out.append(entry.bytes, entry.length);
        }
        mark(before, i);
    }
}

} // namespace

std::string fold(QStringView text, std::vector<int> *origin)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    if (!origin) {
        foldInto(text, out, [](std::size_t, qsizetype) {});
        return out;
    }
    origin->clear();
    foldInto(text, out, [&](std::size_t before, qsizetype index) {
        origin->resize(out.size(), static_cast<int>(index));
    });
    return out;
}

void appendFolded(QStringView text, std::string &out)
{
    // As foldInto, with the runs of ASCII folded in one go.
    const auto *units = reinterpret_cast<const char16_t *>(text.utf16());
    const auto size = static_cast<std::size_t>(text.size());
    for (std::size_t i = 0; i < size;) {
        if (units[i] < 0x80) {
            appendAsciiRun(units, size, i, out);
            continue;
        }
        std::size_t end = i + 1;
        while (end < size && units[end] >= 0x80)
            ++end;
        foldInto(text.sliced(static_cast<qsizetype>(i), static_cast<qsizetype>(end - i)), out,
                 [](std::size_t, qsizetype) {});
        i = end;
    }
}

void appendFoldedUtf8(std::string_view text, std::string &out)
{
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            appendAsciiRun(text.data(), text.size(), i, out);
            continue;
        }
        const UChar32 c = nextCodePoint(text, i);
        if (c < 0) {
            out += ' ';
        } else if (c > 0xFFFF) {
            foldSlow(c, out);
        } else {
            const Entry &entry = entryOf(static_cast<char16_t>(c));
            out.append(entry.bytes, entry.length);
        }
    }
}

ByteFolds::ByteFolds(const std::array<char32_t, 256> &characters)
{
    std::string bytes;
    for (std::size_t b = 0; b < 256; ++b) {
        const char32_t c = characters[b];
        bytes.clear();
        if (c == 0)
            ;
        else if (c < 0x80)
            bytes += AsciiFolds[c];
        else if (c > 0xFFFF)
            foldSlow(static_cast<UChar32>(c), bytes);
        else
            bytes.assign(entryOf(static_cast<char16_t>(c)).bytes, entryOf(static_cast<char16_t>(c)).length);
        Entry &entry = m_entries[b];
        entry.length = static_cast<std::uint8_t>(std::min(bytes.size(), sizeof entry.bytes));
        std::memcpy(entry.bytes, bytes.data(), entry.length);
        if (entry.length > 7 || std::endian::native != std::endian::little) {
            m_allShort = false;
        } else {
            std::memcpy(&m_short[b], entry.bytes, entry.length);
            m_short[b] |= std::uint64_t{entry.length} << 56;
        }
    }
}

void ByteFolds::append(std::string_view bytes, std::string &out) const
{
    // Folded a piece at a time into a buffer with room for the longest fold of each byte and a
    // whole entry copied at the last one: growing the string for the worst case would clear
    // several times the bytes it keeps.
    constexpr std::size_t Piece = 256;
    char buffer[Piece * sizeof(Entry) + sizeof(Entry)];
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        const char *const pieceEnd = p + std::min<std::size_t>(Piece, static_cast<std::size_t>(end - p));
        char *o = buffer;
        if (m_allShort) {
            for (; p < pieceEnd; ++p) {
                const std::uint64_t entry = m_short[static_cast<unsigned char>(*p)];
                std::memcpy(o, &entry, 8);
                o += entry >> 56;
            }
        } else {
            for (; p < pieceEnd; ++p) {
                const Entry &entry = m_entries[static_cast<unsigned char>(*p)];
                std::memcpy(o, entry.bytes, sizeof entry.bytes);
                o += entry.length;
            }
        }
        out.append(buffer, static_cast<std::size_t>(o - buffer));
    }
}

std::vector<std::string> splitWords(const std::string &folded)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < folded.size()) {
        const std::size_t blank = std::min(folded.find(' ', at), folded.size());
        if (blank > at)
            words.push_back(folded.substr(at, blank - at));
        at = blank + 1;
    }
    return words;
}

} // namespace TextFold
