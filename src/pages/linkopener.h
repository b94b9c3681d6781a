// Opening a link of a note or a card: web addresses in the browser, e-mail addresses in the mail
// program, through the desktop. When the desktop has no program for it, a message box says so:
// a click that does nothing would look like a broken program.
//
//     openLink(QStringLiteral("jean@exemple.fr"), page);   // the mail program, on mailto:
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// What the desktop is given for a link's text: "mailto:" before a bare e-mail address, the web
// for an address without a scheme ("www.exemple.fr"), anything with a scheme as it stands.
QUrl linkTarget(const QString &text);

// Hands a link to the desktop; false when nothing could open it. Tests replace it.
using DesktopOpener = std::function<bool(const QUrl &url)>;
DesktopOpener desktopOpener();

// Opens `text` (nothing when it is blank) with `opener`, the desktop's when empty; when that
// fails, a message box on `parent` names the link that could not be opened. True when it opened.
bool openLink(const QString &text, QWidget *parent, const DesktopOpener &opener = {});

// The message that box shows for `text`.
QString noProgramMessage(const QString &text);
