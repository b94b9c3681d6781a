// To-do notes and information sheets as one document: each record a titled section holding its
// formatted text, pictures and tables as the editor shows them; written as HTML (pictures
// embedded), ODT, PDF (fonts embedded, page size from the locale) or UTF-8 text.
//
//     exchange::NoteDocument doc;
//     for (const auto &note : exchange::readNoteRecords(dataDir, exchange::NoteTable::Notes))
//         doc.addSection(note.title, {}, note.body.get());
//     doc.write("/tmp/notes.pdf");                    // the format from the extension
//
// Building needs a QGuiApplication (fonts); the command line runs one on the offscreen platform.
#pragma once

#include "contactcard.h"

#include <QString>
#include <QPageSize>
#include <QTextDocument>

#include <memory>
#include <optional>
#include <vector>

class QPagedPaintDevice;

namespace exchange {

enum class DocumentFormat { Html, Odt, Pdf, Text };
// ".html"/".htm", ".odt", ".pdf", ".txt"; nothing for another extension.
std::optional<DocumentFormat> documentFormatOf(const QString &path);

enum class NoteTable { Notes, Sheets }; // memo.dbf, infos.dbf

struct NoteRecord
{
    QString title;
    QString category; // sheets only
    std::unique_ptr<QTextDocument> body;
};

// Every live record of the table in the order its page walks it (sheets by the index on the
// title when infos.mdx holds it), or only the record of `physicalRecord`. The table is opened
// shared by a dataset of its own; its errors pass through.
std::vector<NoteRecord> readNoteRecords(const QString &dataDirectory, NoteTable table,
                                        int physicalRecord = 0);

class NoteDocument
{
public:
    NoteDocument();
    // Appends a section: the title as a heading (a placeholder when empty), the category under
    // it when there is one, then a copy of body with its pictures. Sections after the first
    // start a new page on paper.
    void addSection(const QString &title, const QString &category, const QTextDocument *body);
    // A card as a section: its name as the heading, then each value that is set beside its label.
    void addCard(const ContactCard &card, const CardLabels &labels);
    int sectionCount() const { return m_sections; }
    QTextDocument &document() { return m_doc; }

    // Throws ExchangeError when the file cannot be written or the extension is unknown; the
    // file is replaced whole or not at all.
    void write(const QString &path);
    QByteArray toHtml() const; // pictures as data: addresses
    // A4, or Letter where the locale measures in inches.
    static QPageSize localePageSize();
    void print(QPagedPaintDevice *device);

private:
    QTextDocument m_doc;
    int m_sections = 0;
};

// The whole road of the command line and the page's export: all records (or one) to `path`.
// Returns the number of sections written.
int exportNoteFile(const QString &dataDirectory, NoteTable table, const QString &path,
                   int physicalRecord = 0);

} // namespace exchange
