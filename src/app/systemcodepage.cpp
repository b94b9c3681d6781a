#include "systemcodepage.h"

#include "codepage.h"
#include "systemtext.h"

#include <QList>

namespace SystemCodePage {

int ansi()
{
    return codepage::systemAnsi();
}

QByteArray encode(const QString &text)
{
    const TCodePage &page = systemtext::ansiPage();
    QByteArray out;
    for (const char32_t ch : text.toUcs4()) {
        const std::string utf8 = QString::fromUcs4(&ch, 1).toStdString();
        if (page.valid() && page.canEncode(utf8))
            out += QByteArray::fromStdString(page.fromUtf8(utf8));
        else
            out += QByteArray::fromStdString(utf8);
    }
    return out;
}

QString decode(const QByteArray &bytes)
{
    return QString::fromStdString(systemtext::toUtf8(std::string_view(bytes.constData(), size_t(bytes.size()))));
}

} // namespace SystemCodePage
