// What RTF control words and symbols mean for the text of a document, for every pass over the
// tokens: the reader that builds a QTextDocument and the plain-text pass of the search. Deciding
// it here once keeps the two from drifting apart: a destination added to one is added to both.
//
//     switch (RtfWords::destinationOf(token.text)) {
//     case RtfWords::Destination::Skipped: ...  // the group holds no text of the note
//     case RtfWords::Destination::None: ...     // not a destination: a formatting or text word
//     }
#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace RtfWords {

enum class Destination {
    None,              // not a destination word
    Skipped,           // holds nothing the note shows (style sheet, document information, ...)
    FontTable,
    ColorTable,
    ListTable,
    ListOverrideTable,
    Numbering,         // \pn: the numbering of the paragraph around it
    Field,
    FieldInstruction,
    FieldResult,
    Picture,
    Object,            // an embedded object, kept whole and shown by its result picture
    Container,         // holds pictures or text boxes among things no reader keeps
    Aside,             // a person's text outside the body: headers, footers, notes, text boxes
};

Destination destinationOf(QByteArrayView word);

// Words of table rows and cells, which only the full reader lays out.
bool isTableWord(QByteArrayView word);

// The character a word such as \tab or \emdash stands for, or 0.
char16_t specialCharacter(QByteArrayView word);

// The character of a control symbol such as \~, or 0. The escaped \\, \{ and \} are bytes of
// the text (isEscapedByte), the others mean nothing to the text.
char16_t symbolCharacter(std::uint8_t symbol);
bool isEscapedByte(std::uint8_t symbol);

// The document code page a word sets (\ansi, \mac, \pc, \pca, \ansicpgN), or nothing.
std::optional<int> documentCodePage(QByteArrayView word, bool hasParameter, int parameter);

// The number of fallback characters after \uN that \ucN asks to drop.
int fallbackCount(bool hasParameter, int parameter);

// The UTF-16 unit of \uN (negative parameters count from 65536), or 0 when there is none.
char16_t unicodeUnit(bool hasParameter, int parameter);

// The code page of a font-table entry: its \cpg, else its \fcharset's, else 0 (the document's).
int fontCodePage(int cpg, int charset);

// Control characters other than the tab, paragraph separators and object marks are not text a
// note can hold; inserted as they are, some would split paragraphs behind the reader's back.
bool isKeptCharacter(char16_t unit);

} // namespace RtfWords
