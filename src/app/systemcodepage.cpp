#include "systemcodepage.h"

#include "codepage.h"

#include <QList>

#include <memory>

namespace SystemCodePage {

namespace {

// One converter, rebuilt when tests switch the system code page.
const TCodePage &current()
{
    thread_local std::unique_ptr<TCodePage> page;
    const int number = codepage::systemAnsi();
    if (!page || page->number() != number)
        page = std::make_unique<TCodePage>(number);
    return *page;
}

} // namespace

int ansi()
{
    return codepage::systemAnsi();
}

QByteArray encode(const QString &text)
{
    const TCodePage &page = current();
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
    const TCodePage &page = current();
    if (!page.valid())
        return QString::fromLatin1(bytes);
    return QString::fromStdString(page.toUtf8(bytes.toStdString()));
}

} // namespace SystemCodePage
