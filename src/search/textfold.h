// Folding text for matching: case and accents are dropped so that "eleve" meets "Élève" and
// "STRASSE" meets "Straße".
//
// Every character becomes zero or more bytes of folded UTF-8: letters and digits lose their
// accents and case (ß, æ and œ spread to two letters), ASCII punctuation stays as it is, and
// every other character (spaces, line breaks, other punctuation and symbols) becomes one blank.
// So a byte of the folded text that is not ASCII always belongs to a letter or digit, and a
// word starts where the byte before it is ASCII but neither letter nor digit.
//
//     std::string folded = TextFold::fold(u"Rue de l'Église");   // "rue de l'eglise"
#pragma once

#include <QStringView>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TextFold {

// The folded text. With `origin`, origin[i] is the index in `text` of the character that gave
// byte i of the result.
std::string fold(QStringView text, std::vector<int> *origin = nullptr);

// Appends the folded text to `out` (the index's bulk path).
void appendFolded(QStringView text, std::string &out);
// The same for UTF-8 text, as the table engine gives it; a byte that begins no valid sequence
// folds as an unknown character would, to a blank.
void appendFoldedUtf8(std::string_view text, std::string &out);

// The folded bytes of each byte of a single-byte code page, so that its text folds without being
// decoded first: the same bytes as folding the characters the page gives the bytes.
//
//     TextFold::ByteFolds folds(characters);   // characters[b]: the character of byte b, 0 none
//     folds.append(memoBytes, folded);
class ByteFolds
{
public:
    explicit ByteFolds(const std::array<char32_t, 256> &characters);
    void append(std::string_view bytes, std::string &out) const;

private:
    struct Entry
    {
        char bytes[15];
        std::uint8_t length;
    };
    std::array<Entry, 256> m_entries{};
    // When no byte folds to more than seven: each byte's folded bytes with their count in the
    // top byte, so that one load and one store fold a byte.
    std::array<std::uint64_t, 256> m_short{};
    bool m_allShort = true;
};

// The words of folded text: its runs between blanks.
std::vector<std::string> splitWords(const std::string &folded);

// True when folded byte `b` can be part of a word.
inline bool isWordByte(unsigned char b)
{
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z');
}

// True when a word of `folded` starts at byte `at`.
inline bool startsWord(const std::string &folded, std::size_t at)
{
    return at == 0 || !isWordByte(static_cast<unsigned char>(folded[at - 1]));
}

} // namespace TextFold
