// Where things are in src/text: this decoder of the system code page and the INI line syntax
// (inisyntax). No Qt: the settings, the languages and the update check build on them.
//
// Text in the user's "ANSI" code page: the settings file, the language files and the version file
// of the update server are written in it, as the system's own editors write them.
//
// The code page and its conversion come from the table engine, which chooses it from the locale
// (1252 for Western European languages) and lets tests set it; the converter follows a change.
//
//     const std::string utf8 = systemtext::toUtf8(fileBytes);
#pragma once

#include <string>
#include <string_view>

class TCodePage;

namespace systemtext {

// The converter of the current ANSI code page, one per thread.
const TCodePage &ansiPage();

// The bytes as UTF-8; bytes the page does not map become U+FFFD. A page the engine cannot convert
// reads as Latin-1.
std::string toUtf8(std::string_view bytes);

// One byte as a character, read the same way.
char32_t decodeByte(unsigned char byte);

} // namespace systemtext
