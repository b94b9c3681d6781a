// Address cards as CSV: a header row naming the columns, then one row per card.
//
//     exchange::ReadCards read = exchange::readCsvCards(fileBytes, page labels);
//     QByteArray out = exchange::writeCsvCards(cards, labels);   // UTF-8, comma, CR LF
//
// readCsvCards never throws and takes any bytes. Columns are matched by their header to the
// address book's fields in French and English, as mail programs and phones name them ("First
// Name", "E-mail Address", "Rue (domicile)", ...) and as the `labels` given say; a column that
// matches no field, or a field already filled, goes to the notes under its header.
#pragma once

#include "contactcard.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

namespace exchange {

// RFC 4180 records: fields split on `delimiter`, double quotes around a field that holds the
// delimiter, a quote or a line break, "" for a quote inside. Fails with the line where an
// unclosed quote starts.
struct CsvRows
{
    QList<QStringList> rows;
    QList<int> rowLines; // 1-based line where each row starts
    QString error;
    int errorLine = 0;
};
CsvRows parseCsv(const QString &text, QChar delimiter);
// Comma, semicolon or tab, whichever the first line holds most of outside quotes.
QChar detectDelimiter(const QString &text);

ReadCards readCsvCards(QByteArrayView bytes, const CardLabels &labels = defaultCardLabels());
QByteArray writeCsvCards(const QList<ContactCard> &cards, const CardLabels &labels);

} // namespace exchange
