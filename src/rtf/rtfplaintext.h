// The plain text of an RTF memo, read straight from its tokens.
//
// Building a QTextDocument for every memo is most of what the first search costs. Notes are
// mostly paragraphs of formatted text, whose plain text is the same whether the document is built
// or not; for them this reader gives what RtfReader and QTextDocument::toPlainText() give
// together (paragraphs joined by line feeds). A memo holding what only the full reader lays out
// (tables, fields, pictures, objects, shapes, headers, footers, notes) gives nothing, and the
// caller builds the document.
//
// The search reads the text as it comes, into a Sink of its own, without making a QString of it.
//
//     RtfPlainText reader;   // one per thread: it keeps the code pages it met
//     if (std::optional<QString> text = reader.read(memoBytes))
//         ...
#pragma once

#include "rtfcodepage.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class RtfPlainText
{
public:
    RtfPlainText();
    ~RtfPlainText();
    RtfPlainText(const RtfPlainText &) = delete;
    RtfPlainText &operator=(const RtfPlainText &) = delete;

    // Receives the text in order: the characters toPlainText() would give, paragraphs ended by
    // paragraph(). Runs of printable ASCII (and tabs) come as the bytes they are.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        virtual void ascii(std::string_view text) = 0;
        virtual void text(QStringView text) = 0;
        virtual void paragraph() = 0;
        // Text of a single-byte code page: each byte stands for characters[byte], a zero
        // character for nothing. Handed on as text() unless the sink reads the bytes itself.
        virtual void singleBytes(std::string_view bytes, const std::array<char16_t, 256> &characters);
    };

    // Nothing when the bytes are not RTF or need the full reader.
    std::optional<QString> read(QByteArrayView rtf);
    // The same text into `sink`. False when the bytes are not RTF or need the full reader; the
    // sink may then have received the beginning of the text.
    bool read(QByteArrayView rtf, Sink &sink);

private:
    class Pass;
    // What each byte of a single-byte page shows as text (0: nothing), by page number; null for
    // other pages.
    const std::array<char16_t, 256> *shownBytes(int page);

    RtfCodePages m_codePages;
    std::map<int, std::unique_ptr<std::array<char16_t, 256>>> m_shown;
    std::string m_pending; // a pass's bytes not yet decoded, kept for the next pass
};
