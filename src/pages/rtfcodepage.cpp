#include "rtfcodepage.h"

#include <QStringDecoder>

#include <unicode/ucnv.h>

#include <array>
#include <vector>

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

UConverter *openConverter(int number)
{
    const QByteArray names[] = {"windows-" + QByteArray::number(number),
                                "cp" + QByteArray::number(number),
                                "ibm-" + QByteArray::number(number)};
    for (const QByteArray &name : names) {
        UErrorCode status = U_ZERO_ERROR;
        UConverter *converter = ucnv_open(name.constData(), &status);
        if (U_SUCCESS(status) && converter)
            return converter;
        if (converter)
            ucnv_close(converter);
    }
    return nullptr;
}

} // namespace

RtfCodePage::RtfCodePage(int number) : m_number(number)
{
    if (number == 65001 || number == 28591) {
        m_valid = true;
        return;
    }
    if (number <= 0 || number > 65535)
        return;
    m_converter = openConverter(number);
    if (!m_converter)
        return;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(m_converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(m_converter, false);
    m_valid = U_SUCCESS(status);
}

RtfCodePage::~RtfCodePage()
{
    if (m_converter)
        ucnv_close(m_converter);
}

QString RtfCodePage::decode(const QByteArray &bytes) const
{
    if (bytes.isEmpty())
        return {};
    if (m_number == 65001) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        return utf8(bytes);
    }
    if (m_number == 28591)
        return QString::fromLatin1(bytes);
    if (!m_converter) {
        static const RtfCodePage fallback(1252);
        return fallback.m_converter ? fallback.decode(bytes) : QString::fromLatin1(bytes);
    }
    std::vector<UChar> out(size_t(bytes.size()) * 2 + 2);
    UErrorCode status = U_ZERO_ERROR;
    // toUChars is stateless: every call starts afresh, so a lead byte left by a truncated
    // double-byte sequence cannot leak into the next run.
    const int32_t length = ucnv_toUChars(m_converter, out.data(), int32_t(out.size()), bytes.constData(),
                                         int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return QString(bytes.size(), QChar::ReplacementCharacter);
    return QString(reinterpret_cast<const QChar *>(out.data()), length);
}

std::optional<QByteArray> RtfCodePage::encode(char32_t ch) const
{
    if (ch < 0x80)
        return QByteArray(1, char(ch));
    if (m_number == 65001) {
        const QString s = QString::fromUcs4(&ch, 1);
        return s.toUtf8();
    }
    if (m_number == 28591)
        return ch < 0x100 ? std::optional<QByteArray>(QByteArray(1, char(ch))) : std::nullopt;
    if (!m_converter)
        return std::nullopt;
    const auto cached = m_encodeCache.constFind(ch);
    if (cached != m_encodeCache.constEnd())
        return *cached;

    const QString s = QString::fromUcs4(&ch, 1);
    char buffer[16];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(m_converter);
    const int32_t length = ucnv_fromUChars(m_converter, buffer, sizeof buffer,
                                           reinterpret_cast<const UChar *>(s.utf16()), int32_t(s.size()), &status);
    std::optional<QByteArray> result;
    if (U_SUCCESS(status) && length > 0) {
        const QByteArray bytes(buffer, length);
        // Some tables map a character one way only; what does not come back is not ours to write.
        if (decode(bytes) == s)
            result = bytes;
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

int RtfCodePage::toCharset(int codePage)
{
    for (const CharsetPage &entry : CharsetPages)
        if (entry.codePage == codePage)
            return entry.charset;
    return 0;
}
