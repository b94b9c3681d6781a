// The plain text of an RTF memo, read straight from its tokens.
//
// Building a QTextDocument for every memo is most of what the first search costs. Notes are
// mostly paragraphs of formatted text, whose plain text is the same whether the document is built
// or not; for them this reader gives what RtfReader and QTextDocument::toPlainText() give
// together (paragraphs joined by line feeds). A memo holding what only the full reader lays out
// (tables, fields, pictures, objects, shapes, headers, footers, notes) gives nothing, and the
// caller builds the document.
//
//     RtfPlainText reader;   // one per thread: it keeps the code pages it met
//     if (std::optional<QString> text = reader.read(memoBytes))
//         ...
#pragma once

#include <QByteArrayView>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class RtfCodePage;

class RtfPlainText
{
public:
    RtfPlainText();
    ~RtfPlainText();
    RtfPlainText(const RtfPlainText &) = delete;
    RtfPlainText &operator=(const RtfPlainText &) = delete;

    // Nothing when the bytes are not RTF or need the full reader.
    std::optional<QString> read(QByteArrayView rtf);

private:
    class Pass;
    RtfCodePage &codePage(int number);

    std::map<int, std::unique_ptr<RtfCodePage>> m_codePages;
};
