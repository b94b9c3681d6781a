#include "linkopener.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QRegularExpression>

QUrl linkTarget(const QString &text)
{
    const QString link = text.trimmed();
    static const QRegularExpression mail(QStringLiteral("^[^\\s@:/]+@[^\\s@/]+\\.[^\\s@/]+$"));
    if (mail.match(link).hasMatch())
        return QUrl(QStringLiteral("mailto:") + link);
    return QUrl::fromUserInput(link);
}

DesktopOpener desktopOpener()
{
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

QString noProgramMessage(const QString &text)
{
    return QStringLiteral("Aucun programme n'est configuré pour ouvrir ce lien :\n%1").arg(text.trimmed());
}

bool openLink(const QString &text, QWidget *parent, const DesktopOpener &opener)
{
    if (text.trimmed().isEmpty())
        return false;
    const QUrl target = linkTarget(text);
    if (target.isValid() && (opener ? opener : desktopOpener())(target))
        return true;
    QMessageBox::warning(parent, QStringLiteral("Velmora"), noProgramMessage(text));
    return false;
}
