// Text in the user's "ANSI" code page, the one the settings file and sealed values are made of.
//
// The code page and its conversion come from the table engine, which chooses it from the locale
// (1252 for Western European languages) and lets tests set it.
#pragma once

#include <QByteArray>
#include <QString>

namespace SystemCodePage {

int ansi();

// Encodes text in the ANSI code page. A character the code page cannot hold is written as its
// UTF-8 bytes instead of the usual "?", so that two different texts never give the same bytes
// merely because both hold characters foreign to the code page.
QByteArray encode(const QString &text);

// Decodes bytes of the ANSI code page; bytes it does not map become U+FFFD.
QString decode(const QByteArray &bytes);

} // namespace SystemCodePage
