// What the readers leave out, and why:
// - the style sheet, document information, revision, file, list-picture and theme tables, XML
//   namespaces, data stores, generator, template, user properties and document variables: they
//   describe the file or the program that wrote it, not the note's text;
// - the fallbacks of \uN (\uc), the \pntext and \listtext numbers and the \nonshppict and
//   \shprslt pictures: each repeats what the reader takes from another word (the character,
//   the list, the \shppict picture, the shape);
// - index and table-of-contents entries (\xe, \tc, \txe, \rxe), bookmark names, annotation
//   marks and footnote separators: hidden marks whose text is not shown in the note;
// - drawing-object geometry (\do) and shape properties: nothing here can draw them; a shape's
//   picture and text box are kept;
// - destinations marked \* that the reader does not know, as RTF asks of every reader.
// Headers, footers, footnotes, annotations and text boxes carry a person's text: the full reader
// keeps it as plain paragraphs at the end of the note. Embedded objects are kept whole, like
// pictures Qt cannot draw, and shown by their result picture.
#include "rtfwords.h"

#include "rtfcodepage.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace RtfWords {

namespace {

std::string_view view(QByteArrayView word)
{
    return std::string_view(word.data(), static_cast<std::size_t>(word.size()));
}

bool isOneOf(QByteArrayView word, std::initializer_list<std::string_view> names)
{
    const std::string_view name = view(word);
    return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return name == n; });
}

} // namespace

namespace {

// The destination words in a small open-addressed table: every control word of a document is
// looked up, most are no destination, and a miss costs a few byte reads and one empty slot
// rather than hashing the whole word and dividing.
class DestinationWords
{
public:
    DestinationWords()
    {
        const std::pair<std::string_view, Destination> named[] = {
            {"fonttbl", Destination::FontTable},
            {"colortbl", Destination::ColorTable},
            {"listtable", Destination::ListTable},
            {"listoverridetable", Destination::ListOverrideTable},
            {"pn", Destination::Numbering},
            {"field", Destination::Field},
            {"fldinst", Destination::FieldInstruction},
            {"fldrslt", Destination::FieldResult},
            {"pict", Destination::Picture},
            {"object", Destination::Object}};
        for (const auto &[name, destination] : named)
            add(name, destination);
        for (std::string_view name : {"shppict", "shp", "shpinst", "result"})
            add(name, Destination::Container);
        for (std::string_view name : {"header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
                                      "footerf", "footnote", "annotation", "shptxt"})
            add(name, Destination::Aside);
        for (std::string_view name :
             {"stylesheet", "info", "xe", "tc", "txe", "rxe", "pntext", "listtext", "pntxta", "pntxtb",
              "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "rsidtbl",
              "revtbl", "filetbl", "nonshppict", "shprslt", "objdata", "mmathPr", "do", "bkmkstart",
              "bkmkend", "template", "userprops", "docvar", "generator", "pgdsctbl", "fchars",
              "lchars", "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "atnid",
              "atnauthor", "atrfstart", "atrfend", "listpicture", "wgrffmtfilter", "ud"})
            add(name, Destination::Skipped);
    }

    Destination find(std::string_view word) const
    {
        if (word.empty())
            return Destination::None;
        for (std::size_t i = slotOf(word);; i = (i + 1) % Slots) {
            const Entry &entry = m_entries[i];
            if (entry.name.empty())
                return Destination::None;
            if (entry.name == word)
                return entry.destination;
        }
    }

private:
    static constexpr std::size_t Slots = 256; // more than twice the words: misses end soon

    struct Entry
    {
        std::string_view name;
        Destination destination = Destination::None;
    };

    static std::size_t slotOf(std::string_view word)
    {
        const auto byte = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(word[i])); };
        return (word.size() * 151 + byte(0) * 31 + byte(word.size() - 1) * 7 + byte(word.size() / 2)) % Slots;
    }

    void add(std::string_view name, Destination destination)
    {
        std::size_t i = slotOf(name);
        while (!m_entries[i].name.empty())
            i = (i + 1) % Slots;
        m_entries[i] = {name, destination};
    }

    std::array<Entry, Slots> m_entries{};
};

} // namespace

Destination destinationOf(QByteArrayView word)
{
    static const DestinationWords words;
    return words.find(view(word));
}

bool isTableWord(QByteArrayView word)
{
    return isOneOf(word, {"trowd", "cell", "nestcell", "row", "nestrow", "intbl", "itap"});
}

char16_t specialCharacter(QByteArrayView word)
{
    static constexpr struct
    {
        std::string_view name;
        char16_t ch;
    } specials[] = {{"tab", u'\t'},       {"line", u'\x2028'},      {"emdash", u'\x2014'},
                    {"endash", u'\x2013'}, {"bullet", u'\x2022'},   {"lquote", u'\x2018'},
                    {"rquote", u'\x2019'}, {"ldblquote", u'\x201C'}, {"rdblquote", u'\x201D'},
                    {"emspace", u'\x2003'}, {"enspace", u'\x2002'}, {"qmspace", u'\x2005'},
                    {"zwj", u'\x200D'},    {"zwnj", u'\x200C'}};
    // Most control words are formatting ("fs", "cf", "b"): their first letter rules out most
    // of the names before any is compared.
    const std::string_view name = view(word);
    if (name.size() < 3 || std::string_view("belqrtz").find(name[0]) == std::string_view::npos)
        return 0;
    for (const auto &special : specials)
        if (name == special.name)
            return special.ch;
    return 0;
}

char16_t symbolCharacter(std::uint8_t symbol)
{
    switch (symbol) {
    case '~':
        return u'\x00A0';
    case '-':
        return u'\x00AD';
    case '_':
        return u'\x2011';
    default:
        return 0;
    }
}

bool isEscapedByte(std::uint8_t symbol)
{
    return symbol == '\\' || symbol == '{' || symbol == '}';
}

std::optional<int> documentCodePage(QByteArrayView bytes, bool hasParameter, int parameter)
{
    const std::string_view word = view(bytes);
    if (word == "ansicpg")
        return hasParameter ? std::optional<int>(parameter) : std::nullopt;
    if (word == "ansi")
        return 1252;
    if (word == "mac")
        return 10000;
    if (word == "pc")
        return 437;
    if (word == "pca")
        return 850;
    return std::nullopt;
}

int fallbackCount(bool hasParameter, int parameter)
{
    return hasParameter ? std::clamp(parameter, 0, 64) : 1;
}

char16_t unicodeUnit(bool hasParameter, int parameter)
{
    const int unit = !hasParameter ? 0 : parameter < 0 ? parameter + 65536 : parameter;
    return unit > 0 && unit <= 0xFFFF ? char16_t(unit) : 0;
}

int fontCodePage(int cpg, int charset)
{
    return cpg ? cpg : RtfCodePage::fromCharset(charset);
}

bool isKeptCharacter(char16_t unit)
{
    return (unit >= 0x20 || unit == '\t') && unit != 0x2029 && unit != 0xFFFC && unit != 0xFFFF;
}

} // namespace RtfWords
