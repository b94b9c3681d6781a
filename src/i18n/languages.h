// The interface languages, one entry each, in the order of their flags on the options page:
// what the options page, the flags, the interface language and the message catalogue know of a
// language. A new language is one entry here, its file in lang/ and its flag picture.
#pragma once

#include <QLocale>

struct LanguageEntry
{
    int code;                 // stored as "lng": the Windows language id (1036 French, 9 English, ...)
    const char *name;         // of its window file (name + ".lng") and of its file in the Language folder
    const char *flag;         // its flag picture on the options page
    QLocale::Language locale; // the locale it is: Qt's own texts, the user's system language
    int catalogueNumber;      // its block in the update dialog's message catalogue
    const char *ownName;      // its name in its own words (UTF-8), as its flag is read out
};

inline constexpr LanguageEntry Languages[] = {
    {1036, "French", "flag-fr", QLocale::French, 12, "Français"},
    {9, "English", "flag-en", QLocale::English, 9, "English"},
    {7, "German", "flag-de", QLocale::German, 7, "Deutsch"},
    {10, "Spanish", "flag-es", QLocale::Spanish, 10, "Español"},
    {16, "Italian", "flag-it", QLocale::Italian, 16, "Italiano"},
    {19, "Dutch", "flag-nl", QLocale::Dutch, 19, "Nederlands"},
};

// The entry of a language code; English for every code without one of its own (99 included).
inline const LanguageEntry &languageOfCode(int code)
{
    for (const LanguageEntry &language : Languages)
        if (language.code == code)
            return language;
    return Languages[1];
}
