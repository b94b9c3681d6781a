#include "rtfplaintext.h"

#include "rtfcodepage.h"
#include "rtfgroupwalk.h"
#include "rtfwords.h"

#include <algorithm>
#include <map>
#include <string_view>

namespace {

enum class Dest { Text, Skip, FontTable };

struct Group
{
    Dest dest = Dest::Text;
    int uc = 1;
    int font = -1;
};

struct Font
{
    int charset = 0;
    int codePage = 0;
};

// What the document keeps of a character, as its plain text shows it.
char16_t shownCharacter(char16_t c)
{
    if (!RtfWords::isKeptCharacter(c))
        return 0;
    if (c == 0x00A0)
        return ' ';
    if (c == 0x2028)
        return '\n';
    return c;
}

} // namespace

class RtfPlainText::Pass : public RtfGroupWalk<Group>
{
public:
    Pass(RtfPlainText &owner, QByteArrayView bytes, Sink &sink)
        : RtfGroupWalk(bytes), m_owner(owner), m_sink(sink), m_pending(owner.m_pending)
    {
        m_pending.clear();
    }
    bool run();

private:
    void flush() override;
    void unicode(char16_t unit) override { append(QStringView(&unit, 1)); }
    void word(const RtfToken &token, bool starred) override;
    void symbol(std::uint8_t symbol) override;
    void hexByte(std::uint8_t byte) override;
    void binary(QByteArrayView) override { giveUp(); }
    void text(QByteArrayView bytes) override;
    void textWord(QByteArrayView name, bool has, int value);
    void append(QStringView text);
    void endParagraph();

    RtfPlainText &m_owner;
    Sink &m_sink;
    std::map<int, Font> m_fonts;
    int m_fontNumber = -1;
    int m_docCodePage = 1252;
    int m_defaultFont = -1;
    std::string &m_pending; // bytes in the current font's code page
};

namespace {

// The text as one QString, paragraphs joined by line feeds.
class StringSink : public RtfPlainText::Sink
{
public:
    void ascii(std::string_view text) override
    {
        m_out += QLatin1StringView(text.data(), qsizetype(text.size()));
        m_paragraphHasText = m_paragraphHasText || !text.empty();
    }
    void text(QStringView text) override
    {
        m_out += text;
        m_paragraphHasText = m_paragraphHasText || !text.isEmpty();
    }
    void paragraph() override
    {
        m_out += QLatin1Char('\n');
        m_paragraphHasText = false;
        ++m_paragraphs;
    }
    QString take()
    {
        // The text after the last paragraph mark is a paragraph only when there is some.
        if (!m_paragraphHasText && m_paragraphs > 0)
            m_out.chop(1);
        return std::move(m_out);
    }

private:
    QString m_out;
    bool m_paragraphHasText = false;
    int m_paragraphs = 0;
};

} // namespace

bool RtfPlainText::Pass::run()
{
    if (!walk())
        return false;
    flush();
    return true;
}

// Gives up when the document needs the full reader.
void RtfPlainText::Pass::word(const RtfToken &token, bool starred)
{
    const QByteArrayView name = token.text;
    const int value = token.hasParameter ? token.parameter : 0;
    if (top().dest == Dest::Skip)
        return;
    using RtfWords::Destination;
    switch (RtfWords::destinationOf(name)) {
    case Destination::None:
        if (RtfWords::isTableWord(name))
            return giveUp();
        break;
    case Destination::FontTable:
        top().dest = Dest::FontTable;
        return;
    case Destination::Skipped:
    case Destination::ColorTable:
    case Destination::ListTable:
    case Destination::ListOverrideTable:
    case Destination::Numbering:
        top().dest = Dest::Skip;
        return;
    default: // fields, pictures, objects, headers and notes are placed by the full reader
        return giveUp();
    }
    if (starred) {
        top().dest = Dest::Skip;
        return;
    }
    if (top().dest == Dest::Text)
        return textWord(name, token.hasParameter, value);
    // Compared as plain bytes, inline: every control word of every memo comes through here.
    const std::string_view word(name.data(), static_cast<std::size_t>(name.size()));
    if (word == "f" && token.hasParameter) {
        m_fontNumber = value;
        m_fonts[value] = Font{};
    } else if (word == "fcharset" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].charset = value;
    } else if (word == "cpg" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].codePage = value;
    }
}

void RtfPlainText::Pass::textWord(QByteArrayView name, bool has, int value)
{
    const std::string_view word(name.data(), static_cast<std::size_t>(name.size()));
    if (word == "par" || word == "page") {
        endParagraph();
    } else if (word == "f") {
        top().font = has ? value : m_defaultFont;
    } else if (word == "plain") {
        top().font = m_defaultFont;
    } else if (const char16_t c = RtfWords::specialCharacter(name)) {
        append(QStringView(&c, 1));
    } else if (word == "uc") {
        top().uc = RtfWords::fallbackCount(has, value);
    } else if (const std::optional<int> page = RtfWords::documentCodePage(name, has, value)) {
        m_docCodePage = *page;
    } else if (word == "deff" && has) {
        m_defaultFont = value;
        if (top().font < 0)
            top().font = value;
    }
}

void RtfPlainText::Pass::symbol(std::uint8_t symbol)
{
    if (top().dest != Dest::Text)
        return;
    if (RtfWords::isEscapedByte(symbol)) {
        m_pending += char(symbol);
    } else if (const char16_t c = RtfWords::symbolCharacter(symbol)) {
        flush();
        append(QStringView(&c, 1));
    } else if (symbol == '\n') {
        endParagraph();
    }
}

// Text and escaped bytes come in runs (an accented letter is a \'hh amid plain letters): the rest
// of the run is read at once rather than token by token.
void RtfPlainText::Pass::hexByte(std::uint8_t byte)
{
    if (top().dest != Dest::Text)
        return;
    m_pending += char(byte);
    appendTextBytes(m_pending);
}

void RtfPlainText::Pass::text(QByteArrayView bytes)
{
    if (top().dest != Dest::Text)
        return;
    m_pending.append(bytes.data(), std::size_t(bytes.size()));
    appendTextBytes(m_pending);
}

void RtfPlainText::Pass::flush()
{
    if (m_pending.empty() || m_stack.empty())
        return;
    if (top().dest != Dest::Text) {
        m_pending.clear();
        return;
    }
    int page = m_docCodePage;
    if (const auto font = m_fonts.find(top().font); font != m_fonts.end())
        if (const int fontPage = RtfWords::fontCodePage(font->second.codePage, font->second.charset))
            page = fontPage;
    const RtfCodePage &codePage = m_owner.m_codePages[page];
    // Most of a note's text is plain ASCII, which every page but a few keeps as it is.
    const bool plain = std::all_of(m_pending.cbegin(), m_pending.cend(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\t';
    });
    if (plain && codePage.keepsAscii())
        m_sink.ascii(m_pending);
    else if (const std::array<char16_t, 256> *shown = m_owner.shownBytes(page))
        m_sink.singleBytes(m_pending, *shown);
    else
        append(codePage.decode(QByteArray(m_pending.data(), qsizetype(m_pending.size()))));
    m_pending.clear();
}

void RtfPlainText::Pass::append(QStringView text)
{
    if (top().dest != Dest::Text)
        return;
    const auto changed = std::find_if(text.begin(), text.end(),
                                      [](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 || u >= 0xA0) && (u == 0 || shownCharacter(u) != u);
    });
    if (changed == text.end()) {
        m_sink.text(text);
        return;
    }
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text)
        if (const char16_t s = shownCharacter(c.unicode()))
            shown += QChar(s);
    m_sink.text(shown);
}

void RtfPlainText::Pass::endParagraph()
{
    flush();
    m_sink.paragraph();
}

void RtfPlainText::Sink::singleBytes(std::string_view bytes, const std::array<char16_t, 256> &characters)
{
    QString shown;
    shown.reserve(qsizetype(bytes.size()));
    for (const char b : bytes)
        if (const char16_t c = characters[static_cast<unsigned char>(b)])
            shown += QChar(c);
    text(shown);
}

const std::array<char16_t, 256> *RtfPlainText::shownBytes(int page)
{
    auto [entry, added] = m_shown.try_emplace(page);
    if (added) {
        if (const std::array<char16_t, 256> *characters = m_codePages[page].byteCharacters()) {
            auto shown = std::make_unique<std::array<char16_t, 256>>();
            for (std::size_t b = 0; b < 256; ++b)
                (*shown)[b] = shownCharacter((*characters)[b]);
            entry->second = std::move(shown);
        }
    }
    return entry->second.get();
}

RtfPlainText::RtfPlainText() = default;
RtfPlainText::~RtfPlainText() = default;

std::optional<QString> RtfPlainText::read(QByteArrayView rtf)
{
    StringSink sink;
    if (!read(rtf, sink))
        return std::nullopt;
    return sink.take();
}

bool RtfPlainText::read(QByteArrayView rtf, Sink &sink)
{
    return rtf.startsWith("{\\rtf") && Pass(*this, rtf, sink).run();
}
