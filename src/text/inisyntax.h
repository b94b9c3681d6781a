// The line syntax of the program's INI files, in its two dialects.
//
// The settings dialect (the settings file, and the version file of the update server):
//   [Section]       a section begins: "[" first, the name up to the first "]"
//   key=value       the first "=" splits, so values may hold "=" themselves
//   anything else   nothing to the reader (comments, blank lines, lines without "=")
//   Blanks around lines, names and values do not count.
// The language dialect (the language files) is read exactly as written:
//   [Section]       "[" first and "]" last; the name is what lies between
//   key=value       the first "=" splits; nothing is trimmed, so "Key = v" is the key "Key "
//   ;comment        a line starting with ";" is nothing to the reader
// Matching names, decoding the bytes and deciding which of two equal names wins are the
// readers' business; this only says what each line is. It never fails, whatever the text is.
//
//     for (std::string_view content : ini::splitLines(text, ini::LineBreaks::Lf)) {
//         const ini::Line line = ini::parseLine(content, ini::SettingsDialect);
//         if (line.kind == ini::Line::Entry && line.name == "ico") ...
//     }
#pragma once

#include <string_view>
#include <vector>

namespace ini {

// The program's settings file, in its data folder.
inline constexpr char SettingsFileName[] = "velmora.ini";

struct Dialect
{
    bool trimBlanks;     // blanks around lines, names and values do not count
    bool commentLines;   // a line starting with ";" is a comment
    bool strictSections; // a section line ends with its "]"
};
inline constexpr Dialect SettingsDialect{true, false, false};
inline constexpr Dialect LanguageDialect{false, true, true};

template <typename Char>
struct BasicLine
{
    enum Kind { Other, Section, Entry };
    Kind kind = Other;
    std::basic_string_view<Char> name;  // the section's name or the entry's key
    std::basic_string_view<Char> value; // the entry's value
};
using Line = BasicLine<char>;

template <typename Char>
constexpr bool isBlank(Char c)
{
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\v') || c == Char('\f') ||
           c == Char('\r');
}

template <typename Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// What one line (without its break) is in the dialect.
template <typename Char>
BasicLine<Char> parseLine(std::basic_string_view<Char> content, const Dialect &dialect)
{
    using View = std::basic_string_view<Char>;
    const auto tidy = [&](View text) { return dialect.trimBlanks ? trimmed(text) : text; };
    BasicLine<Char> line;
    content = tidy(content);
    if (content.empty() || (dialect.commentLines && content.front() == Char(';')))
        return line;
    if (content.front() == Char('[')) {
        if (dialect.strictSections && content.size() >= 2 && content.back() == Char(']')) {
            line.kind = BasicLine<Char>::Section;
            line.name = content.substr(1, content.size() - 2);
            return line;
        }
        const std::size_t close = content.find(Char(']'));
        if (!dialect.strictSections && close != View::npos) {
            line.kind = BasicLine<Char>::Section;
            line.name = tidy(content.substr(1, close - 1));
            return line;
        }
    }
    const std::size_t equals = content.find(Char('='));
    if (equals == View::npos)
        return line;
    line.kind = BasicLine<Char>::Entry;
    line.name = tidy(content.substr(0, equals));
    line.value = tidy(content.substr(equals + 1));
    return line;
}

enum class LineBreaks {
    Lf,     // LF ends a line, a CR before it belongs to the break
    CrOrLf, // CR LF, CR and LF each end a line
};

// The lines of text without their breaks; text after the last break is a line when there is some.
template <typename Char>
std::vector<std::basic_string_view<Char>> splitLines(std::basic_string_view<Char> text, LineBreaks breaks)
{
    std::vector<std::basic_string_view<Char>> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Char c = text[i];
        if (c == Char('\n')) {
            std::size_t end = i;
            if (breaks == LineBreaks::Lf && end > start && text[end - 1] == Char('\r'))
                --end;
            lines.push_back(text.substr(start, end - start));
        } else if (c == Char('\r') && breaks == LineBreaks::CrOrLf) {
            lines.push_back(text.substr(start, i - start));
            if (i + 1 < text.size() && text[i + 1] == Char('\n'))
                ++i;
        } else {
            continue;
        }
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The text without a UTF-8 byte order mark in front.
inline std::string_view withoutBom(std::string_view text)
{
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

} // namespace ini
