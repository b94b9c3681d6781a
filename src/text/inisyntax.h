// The line syntax of the program's INI files, in its two dialects. It says what a line is and
// never fails; matching names, decoding and which of two equal names wins are the readers'.
//
// Settings (the settings file, the update server's version file): "[name]" opens a section, the
// name ending at the first "]"; "key=value" splits at the first "="; blanks around lines, names
// and values do not count; any other line is nothing to the reader.
// Language files: "[name]" must end with its "]"; ";" starts a comment; nothing is trimmed, so
// "Key = v" is the key "Key ".
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
    bool trimBlanks;
    bool commentLines;
    bool strictSections;
};
inline constexpr Dialect SettingsDialect{true, false, false};
inline constexpr Dialect LanguageDialect{false, true, true};

template <typename Char>
struct BasicLine
{
    enum Kind { Other, Section, Entry };
    Kind kind = Other;
    std::basic_string_view<Char> name; // the section's name or the entry's key
    std::basic_string_view<Char> value;
};
using Line = BasicLine<char>;

template <typename Char>
std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text)
{
    const auto blank = [](Char c) { return c == Char(' ') || (c >= Char('\t') && c <= Char('\r')); };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

template <typename Char>
BasicLine<Char> parseLine(std::basic_string_view<Char> content, const Dialect &dialect)
{
    const auto tidy = [&](std::basic_string_view<Char> text) { return dialect.trimBlanks ? trimmed(text) : text; };
    content = tidy(content);
    if (content.empty() || (dialect.commentLines && content.front() == Char(';')))
        return {};
    if (content.front() == Char('[')) {
        if (dialect.strictSections && content.size() >= 2 && content.back() == Char(']'))
            return {BasicLine<Char>::Section, content.substr(1, content.size() - 2), {}};
        if (const auto close = content.find(Char(']')); !dialect.strictSections && close != content.npos)
            return {BasicLine<Char>::Section, tidy(content.substr(1, close - 1)), {}};
    }
    const auto equals = content.find(Char('='));
    if (equals == content.npos)
        return {};
    return {BasicLine<Char>::Entry, tidy(content.substr(0, equals)), tidy(content.substr(equals + 1))};
}

// Lf: LF ends a line, a CR before it belonging to the break. CrOrLf: CR LF, CR and LF each do.
enum class LineBreaks { Lf, CrOrLf };

// The lines without their breaks; text after the last break is a line when there is some.
template <typename Char>
std::vector<std::basic_string_view<Char>> splitLines(std::basic_string_view<Char> text, LineBreaks breaks)
{
    std::vector<std::basic_string_view<Char>> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool cr = text[i] == Char('\r') && breaks == LineBreaks::CrOrLf;
        if (text[i] != Char('\n') && !cr)
            continue;
        std::size_t end = i;
        if (!cr && breaks == LineBreaks::Lf && end > start && text[end - 1] == Char('\r'))
            --end;
        lines.push_back(text.substr(start, end - start));
        if (cr && i + 1 < text.size() && text[i + 1] == Char('\n'))
            ++i;
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
