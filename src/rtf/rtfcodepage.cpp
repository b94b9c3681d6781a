#include "rtfcodepage.h"

#include <array>

namespace {

struct CharsetPage
{
    int charset;
    int codePage;
};

// The Windows charset numbers that fonts carry, with the code page each one implies.
constexpr std::array<CharsetPage, 16> CharsetPages{{
    {77, 10000},  {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
    {161, 1253},  {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
    {204, 1251},  {222, 874},  {238, 1250}, {255, 437},
}};

} // namespace

RtfCodePage::RtfCodePage(int number) : m_number(number), m_page(number)
{
    m_valid = m_page.valid();
    if (m_page.singleByte()) {
        auto bytes = std::make_unique<std::array<char16_t, 256>>();
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            const std::u16string one = m_page.decode(&byte, 1);
            (*bytes)[std::size_t(b)] = one.size() == 1 ? one[0] : u'\xFFFD';
        }
        m_bytes = std::move(bytes);
    }
    QByteArray ascii("\t");
    for (char c = 0x20; c < 0x7F; ++c)
        ascii += c;
    m_keepsAscii = decode(ascii) == QLatin1StringView(ascii);
}

RtfCodePage::~RtfCodePage() = default;

QString RtfCodePage::decode(const QByteArray &bytes) const
{
    if (m_bytes) {
        QString text(bytes.size(), Qt::Uninitialized);
        char16_t *out = reinterpret_cast<char16_t *>(text.data());
        for (const char b : bytes)
            *out++ = (*m_bytes)[static_cast<unsigned char>(b)];
        return text;
    }
    const std::u16string text = m_page.decode(bytes.constData(), std::size_t(bytes.size()));
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

std::optional<QByteArray> RtfCodePage::encode(char32_t ch) const
{
    if (ch < 0x80)
        return QByteArray(1, char(ch));
    const auto cached = m_encodeCache.constFind(ch);
    if (cached != m_encodeCache.constEnd())
        return *cached;

    const QString s = QString::fromUcs4(&ch, 1);
    std::optional<QByteArray> result;
    const std::optional<std::string> bytes =
        m_page.encode(std::u16string_view(reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size())));
    if (bytes && !bytes->empty()) {
        const QByteArray encoded(bytes->data(), qsizetype(bytes->size()));
        // Some tables map a character one way only; what does not come back is not ours to write.
        if (decode(encoded) == s)
            result = encoded;
    }
    m_encodeCache.insert(ch, result);
    return result;
}

int RtfCodePage::fromCharset(int charset)
{
    for (const CharsetPage &entry : CharsetPages)
        if (entry.charset == charset)
            return entry.codePage;
    return 0;
}

RtfCodePage &RtfCodePages::operator[](int number)
{
    std::unique_ptr<RtfCodePage> &page = m_pages[number];
    if (!page)
        page = std::make_unique<RtfCodePage>(number);
    return *page;
}
