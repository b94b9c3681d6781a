#include "notedocument.h"

#include "cardbook.h"
#include "dbf.h"
#include "rtfreader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextDocumentWriter>
#include <QUrl>

namespace exchange {

namespace {

constexpr int kHeadingPoints = 16;
constexpr int kTextPoints = 11; // what reads well on paper; the notes' own sizes still win

// Every picture name used in doc, once each.
QStringList imageNames(const QTextDocument *doc)
{
    QStringList names;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (f.isImageFormat() && !names.contains(f.toImageFormat().name()))
                names << f.toImageFormat().name();
        }
    // Pictures inside tables live in the table's cells, which the block walk above also visits.
    return names;
}

void saveWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ExchangeError(QStringLiteral("Impossible d'écrire %1 : %2").arg(path, file.errorString()));
}

} // namespace

std::optional<DocumentFormat> documentFormatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return DocumentFormat::Html;
    if (suffix == QLatin1String("odt"))
        return DocumentFormat::Odt;
    if (suffix == QLatin1String("pdf"))
        return DocumentFormat::Pdf;
    if (suffix == QLatin1String("txt"))
        return DocumentFormat::Text;
    return std::nullopt;
}

std::vector<NoteRecord> readNoteRecords(const QString &dataDirectory, NoteTable which, int physicalRecord)
{
    const bool sheets = which == NoteTable::Sheets;
    TDbf table(sheets ? "Dbfinfos" : "Dbfmemo");
    if (sheets) // walked as the page walks it: the tag of empty name, descending titles
        table.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
    table.setFilePath(dataDirectory.toStdString());
    table.setTableName(sheets ? "infos.dbf" : "memo.dbf");
    table.open();
    TDbfField *title = table.findField("TITRE");
    TDbfField *category = sheets ? table.findField("CATEG") : nullptr;
    TDbfField *memo = table.findField(sheets ? "INFOS" : "MEMO");
    std::vector<NoteRecord> records;
    auto readCurrent = [&] {
        NoteRecord r;
        r.title = title ? QString::fromStdString(title->asString()) : QString();
        r.category = category ? QString::fromStdString(category->asString()) : QString();
        r.body = std::make_unique<QTextDocument>();
        if (memo)
            RtfReader::readAny(QByteArray::fromStdString(memo->memoBytes()), r.body.get());
        records.push_back(std::move(r));
    };
    if (physicalRecord > 0) {
        table.setRecNo(physicalRecord);
        if (!table.isEmpty() && table.recNo() == physicalRecord)
            readCurrent();
    } else {
        for (table.first(); !table.eof(); table.next())
            readCurrent();
    }
    table.close();
    return records;
}

NoteDocument::NoteDocument()
{
    m_doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Velmora"));
    QFont font = m_doc.defaultFont();
    font.setPointSize(kTextPoints);
    m_doc.setDefaultFont(font);
}

void NoteDocument::addSection(const QString &title, const QString &category, const QTextDocument *body)
{
    QTextCursor cursor(&m_doc);
    cursor.movePosition(QTextCursor::End);
    QTextBlockFormat heading;
    heading.setHeadingLevel(1);
    heading.setTopMargin(m_sections > 0 ? 18 : 0);
    heading.setBottomMargin(6);
    if (m_sections > 0)
        heading.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCharFormat headingText;
    headingText.setFontWeight(QFont::Bold);
    headingText.setFontPointSize(kHeadingPoints);
    if (m_sections == 0) {
        cursor.setBlockFormat(heading);
        cursor.setBlockCharFormat(headingText);
    } else {
        cursor.insertBlock(heading, headingText);
    }
    cursor.insertText(title.isEmpty() ? QStringLiteral("(sans titre)") : title, headingText);
    if (!category.isEmpty()) {
        QTextCharFormat italic;
        italic.setFontItalic(true);
        cursor.insertBlock(QTextBlockFormat(), italic);
        cursor.insertText(category, italic);
    }
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    if (body) {
        for (const QString &name : imageNames(body))
            m_doc.addResource(QTextDocument::ImageResource, QUrl(name),
                              body->resource(QTextDocument::ImageResource, QUrl(name)));
        cursor.insertFragment(QTextDocumentFragment(body));
    }
    ++m_sections;
}

void NoteDocument::addCard(const ContactCard &card, const CardLabels &labels)
{
    QTextDocument body;
    QTextCursor cursor(&body);
    QTextCharFormat label;
    label.setFontWeight(QFont::Bold);
    bool first = true;
    for (int f = 0; f < CardFieldCount; ++f) {
        if (card.values[f].isEmpty())
            continue;
        if (!first)
            cursor.insertBlock();
        first = false;
        cursor.insertText(labels[f] + QLatin1String(" : "), label);
        // The notes start on a line of their own, as they are several lines.
        if (f == Notes)
            cursor.insertBlock();
        cursor.insertText(card.values[f], QTextCharFormat());
    }
    addSection(card.displayName(), {}, &body);
}

QByteArray NoteDocument::toHtml() const
{
    QString html = m_doc.toHtml();
    for (const QString &name : imageNames(&m_doc)) {
        const QImage image = m_doc.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        html.replace(QLatin1String("src=\"") + name + QLatin1Char('"'),
                     QLatin1String("src=\"data:image/png;base64,") + QString::fromLatin1(png.toBase64())
                         + QLatin1Char('"'));
    }
    return html.toUtf8();
}

QPageSize NoteDocument::localePageSize()
{
    const QLocale::MeasurementSystem m = QLocale::system().measurementSystem();
    return QPageSize(m == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4);
}

void NoteDocument::print(QPagedPaintDevice *device)
{
    m_doc.print(device);
}

void NoteDocument::write(const QString &path)
{
    const std::optional<DocumentFormat> format = documentFormatOf(path);
    if (!format)
        throw ExchangeError(QStringLiteral("%1 : les notes s'enregistrent en .html, .odt, .pdf ou .txt.")
                                .arg(QFileInfo(path).fileName()));
    switch (*format) {
    case DocumentFormat::Html:
        saveWhole(path, toHtml());
        return;
    case DocumentFormat::Text:
        saveWhole(path, m_doc.toPlainText().remove(QChar::ObjectReplacementCharacter).toUtf8());
        return;
    case DocumentFormat::Odt:
    case DocumentFormat::Pdf:
        break;
    }
    // Both writers close the device they are given, which a QSaveFile must not be.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (*format == DocumentFormat::Odt) {
        QTextDocumentWriter writer(&buffer, "odf");
        if (!writer.write(&m_doc))
            throw ExchangeError(QStringLiteral("Impossible d'écrire %1.").arg(path));
    } else {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(localePageSize());
        pdf.setTitle(QStringLiteral("Velmora"));
        pdf.setCreator(QStringLiteral("Velmora"));
        m_doc.print(&pdf);
    }
    saveWhole(path, bytes);
}

int exportNoteFile(const QString &dataDirectory, NoteTable table, const QString &path, int physicalRecord)
{
    if (!documentFormatOf(path))
        throw ExchangeError(QStringLiteral("%1 : les notes s'enregistrent en .html, .odt, .pdf ou .txt.")
                                .arg(QFileInfo(path).fileName()));
    NoteDocument doc;
    for (const NoteRecord &r : readNoteRecords(dataDirectory, table, physicalRecord))
        doc.addSection(r.title, r.category, r.body.get());
    doc.write(path);
    return doc.sectionCount();
}

} // namespace exchange
