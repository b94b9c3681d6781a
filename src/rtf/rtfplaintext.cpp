#include "rtfplaintext.h"

#include "rtfcodepage.h"
#include "rtftokenizer.h"

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

bool isOneOf(QByteArrayView name, std::initializer_list<std::string_view> names)
{
    const std::string_view word(name.data(), static_cast<std::size_t>(name.size()));
    return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return word == n; });
}

// Destinations whose text the document does not show.
bool isHiddenDestination(QByteArrayView name)
{
    return isOneOf(name, {"stylesheet", "info", "xe", "tc", "txe", "rxe", "pntext", "listtext",
                          "pntxta", "pntxtb", "themedata", "colorschememapping", "latentstyles",
                          "datastore", "xmlnstbl", "rsidtbl", "revtbl", "filetbl", "nonshppict",
                          "shprslt", "objdata", "mmathPr", "do", "bkmkstart", "bkmkend", "template",
                          "userprops", "docvar", "generator", "pgdsctbl", "fchars", "lchars",
                          "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "atnid",
                          "atnauthor", "atrfstart", "atrfend", "listpicture", "wgrffmtfilter", "ud",
                          "colortbl", "listtable", "listoverridetable", "pn"});
}

// Destinations whose text the full reader places elsewhere than where it stands, or lays out.
bool needsFullReader(QByteArrayView name)
{
    return isOneOf(name, {"field", "fldinst", "fldrslt", "pict", "object", "shp", "shpinst",
                          "shppict", "result", "shptxt", "header", "headerl", "headerr", "headerf",
                          "footer", "footerl", "footerr", "footerf", "footnote", "annotation",
                          "trowd", "cell", "nestcell", "row", "nestrow", "intbl", "itap"});
}

char16_t specialCharacter(QByteArrayView name)
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
    const std::string_view word(name.data(), static_cast<std::size_t>(name.size()));
    for (const auto &special : specials)
        if (word == special.name)
            return special.ch;
    return 0;
}

// What the document keeps of a character, as its plain text shows it.
char16_t shownCharacter(char16_t c)
{
    if ((c < 0x20 && c != '\t') || c == 0x2029 || c == 0xFFFC || c == 0xFFFF)
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
    Pass(RtfPlainText &owner, QByteArrayView bytes) : m_owner(owner), m_tokens(bytes) {}
    std::optional<QString> run();

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
    std::vector<Group> m_stack;
    std::map<int, Font> m_fonts;
    int m_fontNumber = -1;
    int m_docCodePage = 1252;
    int m_defaultFont = -1;
    int m_skip = 0; // fallback characters of \uN still to drop
    bool m_starPending = false;
    bool m_started = false;
    QByteArray m_pending; // bytes in the current font's code page
    QString m_out;        // the paragraphs so far, each followed by a line feed, then the current one
    bool m_paragraphHasText = false;
    int m_paragraphs = 0;
};

std::optional<QString> RtfPlainText::Pass::run()
{
    for (;;) {
        const RtfToken token = m_tokens.next();
        if (token.kind == RtfToken::End)
            break;
        if (token.kind == RtfToken::GroupStart) {
            if (!openGroup())
                return std::nullopt;
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
                return std::nullopt;
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
            return std::nullopt;
        default:
            m_starPending = false;
            text(token.text);
            break;
        }
    }
    flush();
    // The text after the last paragraph mark is a paragraph only when there is some.
    if (!m_paragraphHasText && m_paragraphs > 0)
        m_out.chop(1);
    return std::move(m_out);
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
        const int unit = value < 0 ? value + 65536 : value;
        if (unit > 0 && unit <= 0xFFFF) {
            const char16_t c = char16_t(unit);
            append(QStringView(&c, 1));
        }
        m_skip = top().uc;
        m_starPending = false;
        return true;
    }
    const bool starred = m_starPending;
    m_starPending = false;
    if (top().dest == Dest::Skip)
        return true;
    if (needsFullReader(name))
        return false;
    if (name == "fonttbl") {
        top().dest = Dest::FontTable;
    } else if (isHiddenDestination(name) || starred) {
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
    } else if (const char16_t c = specialCharacter(name)) {
        append(QStringView(&c, 1));
    } else if (name == "uc") {
        top().uc = has ? std::clamp(value, 0, 64) : 1;
    } else if (name == "ansicpg" && has) {
        m_docCodePage = value;
    } else if (name == "ansi" || name == "mac" || name == "pc" || name == "pca") {
        m_docCodePage = name == "ansi" ? 1252 : name == "mac" ? 10000 : name == "pc" ? 437 : 850;
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
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        m_pending.append(char(symbol));
        break;
    case '~':
        flush();
        append(u"\u00A0");
        break;
    case '-':
        flush();
        append(u"\u00AD");
        break;
    case '_':
        flush();
        append(u"\u2011");
        break;
    case '\n':
        endParagraph();
        break;
    default:
        break;
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
    int page = m_docCodePage;
    if (const auto font = m_fonts.find(top().font); font != m_fonts.end()) {
        if (font->second.codePage)
            page = font->second.codePage;
        else if (const int fromCharset = RtfCodePage::fromCharset(font->second.charset))
            page = fromCharset;
    }
    const QString decoded = m_owner.codePage(page).decode(m_pending);
    m_pending.clear();
    append(decoded);
}

void RtfPlainText::Pass::append(QStringView text)
{
    if (top().dest != Dest::Text)
        return;
    for (const QChar c : text) {
        if (const char16_t shown = shownCharacter(c.unicode())) {
            m_out += QChar(shown);
            m_paragraphHasText = true;
        }
    }
}

void RtfPlainText::Pass::endParagraph()
{
    flush();
    m_out += QLatin1Char('\n');
    m_paragraphHasText = false;
    ++m_paragraphs;
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
    if (!rtf.startsWith("{\\rtf"))
        return std::nullopt;
    return Pass(*this, rtf).run();
}
