// The message catalogue: the update dialog's texts in seven languages, built into the program.
// The caller picks the language: the program gives the interface language's; the user's
// locale (SystemLanguageNumber) serves where no interface language is known.
//
// A message is found by language number and index (its id is number * 100 + index):
//
//     label->setText(CatalogueMessage(SystemLanguageNumber(), CatalogueIndex::Checking));
#pragma once

#include <QString>

class QLocale;

// The message indices within a language block.
namespace CatalogueIndex {
enum : int {
    Title = 0,
    Initialising = 1,
    Checking = 2,
    NoConnection = 3,
    FileUnreadable = 4,
    UpToDate = 5,
    Downloading = 6,
    NewVersion = 7, // a prefix: the version follows directly
    DownloadFinished = 8,
    SpeedZero = 9,
    Speed = 10, // holds "%s" for the kilobytes per second
};
}

// The language number of a locale, in the numbering the catalogue uses: 7 German, 9 English,
// 10 Spanish, 16 Italian, 19 Dutch, 22 Portuguese, whatever the country; 12 (French) for every
// other language, French included.
int languageNumberOf(const QLocale &locale);

// The language number of the user's locale, asked anew on every call.
int SystemLanguageNumber();

// The text with id languageNumber * 100 + index; the empty text when the catalogue has none.
QString CatalogueMessage(int languageNumber, int index);
