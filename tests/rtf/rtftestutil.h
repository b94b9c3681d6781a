// Helpers shared by the RTF tests: a readable description of a document's text and formats.
#pragma once

#include <QString>

class QTextDocument;

// One line per paragraph: its format, then each run of equal formatting as [format]text. Formats
// are resolved against the document's default font, so a run that states a property and one that
// inherits the same value read the same.
QString describeDocument(const QTextDocument &doc);

// True when every byte is 7-bit.
bool isSevenBit(const QByteArray &bytes);
