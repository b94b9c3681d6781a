#include "rtfplaintext.h"

#include "rtfcodepage.h"
#include "rtftokenizer.h"
#include "rtfwords.h"

#include <algorithm>
#include <string_view>
#include <vector>

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

// Deeper nesting than the reader keeps: its overflow rules are not worth copying.
constexpr std::size_t MaxDepth = 256;

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

class RtfPlainText::Pass
{
public:
    Pass(RtfPlainText &owner, QByteArrayView bytes, Sink &sink)
        : m_owner(owner), m_tokens(bytes), m_sink(sink)
    {
    }
    bool run();

private:
    bool openGroup();
    bool closeGroup();
    bool word(const RtfToken &token);
    bool textWord(QByteArrayView name, bool has, int value);
    void symbol(std::uint8_t symbol);
    void text(QByteArrayView bytes);
    void flush();
    void append(QStringView text);
    void endParagraph();
    Group &top() { return m_stack.back(); }

    RtfPlainText &m_owner;
    RtfTokenizer m_tokens;
    Sink &m_sink;
    std::vector<Group> m_stack;
    std::map<int, Font> m_fonts;
    int m_fontNumber = -1;
    int m_docCodePage = 1252;
    int m_defaultFont = -1;
    int m_skip = 0; // fallback characters of \uN still to drop
    bool m_starPending = false;
    bool m_started = false;
    QByteArray m_pending; // bytes in the current font's code page
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
    for (;;) {
        const RtfToken token = m_tokens.next();
        if (token.kind == RtfToken::End)
            break;
        if (token.kind == RtfToken::GroupStart) {
            if (!openGroup())
                return false;
            continue;
        }
        if (token.kind == RtfToken::GroupEnd) {
            if (!closeGroup())
                break;
            continue;
        }
        if (m_stack.empty())
            continue;
        if (m_skip > 0 && token.kind != RtfToken::Text) {
            --m_skip;
            continue;
        }
        switch (token.kind) {
        case RtfToken::ControlWord:
            if (!word(token))
                return false;
            break;
        case RtfToken::ControlSymbol:
            symbol(token.byte);
            break;
        case RtfToken::HexByte:
            m_starPending = false;
            if (top().dest == Dest::Text)
                m_pending.append(char(token.byte));
            break;
        case RtfToken::Binary:
            return false;
        default:
            m_starPending = false;
            text(token.text);
            break;
        }
    }
    flush();
    return true;
}

bool RtfPlainText::Pass::openGroup()
{
    flush();
    m_skip = 0;
    m_starPending = false;
    if (m_stack.empty()) {
        if (!m_started)
            m_stack.emplace_back();
        m_started = true;
        return true;
    }
    if (m_stack.size() >= MaxDepth)
        return false;
    m_stack.push_back(m_stack.back());
    return true;
}

// False when the document's outermost group has closed.
bool RtfPlainText::Pass::closeGroup()
{
    flush();
    m_skip = 0;
    m_starPending = false;
    if (m_stack.empty())
        return false;
    m_stack.pop_back();
    return !m_stack.empty();
}

// False when the document needs the full reader.
bool RtfPlainText::Pass::word(const RtfToken &token)
{
    flush();
    const QByteArrayView name = token.text;
    const int value = token.hasParameter ? token.parameter : 0;
    if (name == "u") {
        if (const char16_t c = RtfWords::unicodeUnit(token.hasParameter, token.parameter))
            append(QStringView(&c, 1));
        m_skip = top().uc;
        m_starPending = false;
        return true;
    }
    const bool starred = m_starPending;
    m_starPending = false;
    if (top().dest == Dest::Skip)
        return true;
    using RtfWords::Destination;
    switch (RtfWords::destinationOf(name)) {
    case Destination::None:
        if (RtfWords::isTableWord(name))
            return false;
        break;
    case Destination::FontTable:
        top().dest = Dest::FontTable;
        return true;
    case Destination::Skipped:
    case Destination::ColorTable:
    case Destination::ListTable:
    case Destination::ListOverrideTable:
    case Destination::Numbering:
        top().dest = Dest::Skip;
        return true;
    default: // fields, pictures, objects, headers and notes are placed by the full reader
        return false;
    }
    if (starred) {
        top().dest = Dest::Skip;
    } else if (top().dest == Dest::Text) {
        return textWord(name, token.hasParameter, value);
    } else if (name == "f" && token.hasParameter) {
        m_fontNumber = value;
        m_fonts[value] = Font{};
    } else if (name == "fcharset" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].charset = value;
    } else if (name == "cpg" && m_fonts.contains(m_fontNumber)) {
        m_fonts[m_fontNumber].codePage = value;
    }
    return true;
}

bool RtfPlainText::Pass::textWord(QByteArrayView name, bool has, int value)
{
    if (name == "par" || name == "page") {
        endParagraph();
    } else if (name == "f") {
        top().font = has ? value : m_defaultFont;
    } else if (name == "plain") {
        top().font = m_defaultFont;
    } else if (const char16_t c = RtfWords::specialCharacter(name)) {
        append(QStringView(&c, 1));
    } else if (name == "uc") {
        top().uc = RtfWords::fallbackCount(has, value);
    } else if (const std::optional<int> page = RtfWords::documentCodePage(name, has, value)) {
        m_docCodePage = *page;
    } else if (name == "deff" && has) {
        m_defaultFont = value;
        if (top().font < 0)
            top().font = value;
    }
    return true;
}

void RtfPlainText::Pass::symbol(std::uint8_t symbol)
{
    if (symbol == '*') {
        flush();
        m_starPending = true;
        return;
    }
    m_starPending = false;
    if (top().dest != Dest::Text)
        return;
    if (RtfWords::isEscapedByte(symbol)) {
        m_pending.append(char(symbol));
    } else if (const char16_t c = RtfWords::symbolCharacter(symbol)) {
        flush();
        append(QStringView(&c, 1));
    } else if (symbol == '\n') {
        endParagraph();
    }
}

void RtfPlainText::Pass::text(QByteArrayView bytes)
{
    if (m_skip > 0) {
        const qsizetype skipped = std::min<qsizetype>(m_skip, bytes.size());
        bytes = bytes.sliced(skipped);
        m_skip -= int(skipped);
    }
    if (!bytes.isEmpty() && top().dest == Dest::Text)
        m_pending.append(bytes.data(), bytes.size());
}

void RtfPlainText::Pass::flush()
{
    if (m_pending.isEmpty() || m_stack.empty())
        return;
    if (top().dest != Dest::Text) {
        m_pending.clear();
        return;
    }
    int page = m_docCodePage;
    if (const auto font = m_fonts.find(top().font); font != m_fonts.end())
        if (const int fontPage = RtfWords::fontCodePage(font->second.codePage, font->second.charset))
            page = fontPage;
    const RtfCodePage &codePage = m_owner.codePage(page);
    // Most of a note's text is plain ASCII, which every page but a few keeps as it is.
    const bool plain = std::all_of(m_pending.cbegin(), m_pending.cend(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\t';
    });
    if (plain && codePage.keepsAscii())
        m_sink.ascii(std::string_view(m_pending.constData(), std::size_t(m_pending.size())));
    else
        append(codePage.decode(m_pending));
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

RtfPlainText::RtfPlainText() = default;
RtfPlainText::~RtfPlainText() = default;

RtfCodePage &RtfPlainText::codePage(int number)
{
    std::unique_ptr<RtfCodePage> &page = m_codePages[number];
    if (!page)
        page = std::make_unique<RtfCodePage>(number);
    return *page;
}

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
