// Where things are in src/rtf: the tokenizer (rtftokenizer), the walk over its tokens that both
// readers share (rtfgroupwalk) and what its words mean (rtfwords), this reader (rtfreader,
// rtfreadermedia, with its state in rtfreaderimpl) and its tables and pictures (rtftable,
// rtfpicture), the writer (rtfwriter), the code pages (rtfcodepage), the formats both sides share
// (rtfformat) and the search's plain-text pass (rtfplaintext).
//
// Reads Rich Text Format documents into a QTextDocument.
//
// The reader understands what the Windows rich-edit control, WordPad, Word and LibreOffice write:
// the font and colour tables, character and paragraph formatting, bullets and numbering (\pn and
// \ls lists), hyperlink fields, \uN with its fallback, \'xx in the document's or the font's code
// page, pictures (RtfPicture) and tables (QTextTable). Groups it does not know are skipped; the
// list of what it leaves out, and why, heads rtfreader.cpp. It never fails on bad input: unbalanced braces, a
// truncated file, deep nesting or binary noise give whatever text could be made out.
//
//     QTextDocument doc;
//     if (!RtfReader::read(memoBytes, &doc))
//         RtfReader::readPlainText(memoBytes, &doc);
#pragma once

#include <QByteArrayView>

class QTextDocument;

namespace RtfReader {

// True when the bytes start an RTF document ("{\rtf"); anything else is plain text.
bool isRtf(QByteArrayView bytes);

// Replaces the content of doc with the RTF document in bytes. Returns false, leaving doc as it
// was, when the bytes are not RTF.
bool read(QByteArrayView bytes, QTextDocument *doc);

// Replaces the content of doc with bytes as plain text in codePage, or, when codePage is 0, as
// UTF-8 when the bytes are valid UTF-8 and else Windows-1252; CR LF, CR and LF each end a
// paragraph.
void readPlainText(QByteArrayView bytes, QTextDocument *doc, int codePage = 0);

// Reads rich text when it can and plain text otherwise.
void readAny(QByteArrayView bytes, QTextDocument *doc);

} // namespace RtfReader
