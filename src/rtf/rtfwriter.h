// Writes a QTextDocument as a Rich Text Format document.
//
// The output is a complete RTF 1.x document in 7-bit bytes: characters of the chosen code page
// are written as \'xx, all others as \uN with a "?" fallback, so the bytes never depend on the
// code page of the table that stores them. It holds what the editor shows: fonts, sizes,
// colours, bold, italic, underline, strike-out, sub- and superscript, alignment, indents,
// bullets and numbering with their hanging indent (as \pn paragraphs, which every word
// processor reads), line breaks, links (HYPERLINK fields), pictures with the bytes they came
// with, and tables as \trowd/\cell/\row rows (a table inside a cell gives its cells' paragraphs). Formats the document leaves
// unset are taken from its default font. RtfReader reads the result back to the same document.
#pragma once

#include <QByteArray>

class QTextDocument;

namespace RtfWriter {

QByteArray write(const QTextDocument *doc, int codePage = 1252);

} // namespace RtfWriter
