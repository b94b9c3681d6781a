// Helpers of the search tests: a data folder holding the three tables as the program ships them,
// filled through the engine.
#pragma once

#include "dbf.h"
#include "dbffile.h"
#include "rtfwriter.h"
#include "textfold.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTextDocument>

#include <algorithm>
#include <map>
#include <string>

namespace searchtest {

// The long road of a match: the query has words, and each begins a word of the folded text.
inline bool holdsEveryWord(const QString &text, const QString &query)
{
    const std::string folded = TextFold::fold(text);
    const std::vector<std::string> words = TextFold::splitWords(TextFold::fold(query));
    return !words.empty() && std::all_of(words.begin(), words.end(), [&](const std::string &w) {
        for (std::size_t p = folded.find(w); p != std::string::npos; p = folded.find(w, p + 1))
            if (TextFold::startsWord(folded, p))
                return true;
        return false;
    });
}

// The RTF the rich-text editor stores for a plain text.
inline std::string rtf(const QString &text)
{
    QTextDocument doc;
    doc.setPlainText(text);
    return RtfWriter::write(&doc).toStdString();
}

// The data folder of an application folder: path() is the application folder, data() its
// "data/" below.
class TestTables
{
public:
    TestTables()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("data"));
        createDbfTable(data() + "memo.dbf", 0x8B, 0x57, {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}});
        createDbfTable(data() + "infos.dbf", 0x8B, 0x57,
                       {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
        createDbfTable(data() + "adbook.dbf", 0x8B, 0x57,
                       {{"PRENOM", 'C', 35}, {"NOM", 'C', 35}, {"ADRESSE", 'C', 120},
                        {"VILLE", 'C', 40}, {"CP", 'C', 8}, {"PAYS", 'C', 40}, {"TEL", 'C', 20},
                        {"FAX", 'C', 20}, {"NOTES", 'M', 10}, {"EMAIL", 'C', 120},
                        {"WEB", 'C', 120}, {"MOBILE", 'C', 20}});
    }
    QString path() const { return m_dir.path() + QLatin1Char('/'); }
    std::string data() const { return m_dir.path().toStdString() + "/data/"; }
    QString qdata() const { return path() + QStringLiteral("data/"); }

    // Appends a record; a value of a memo field is stored as these bytes (RTF or plain text).
    void add(const char *table, const std::map<std::string, std::string> &values) const
    {
        TDbf t;
        t.setFilePath(data());
        t.setTableName(table);
        t.open();
        t.insert();
        for (const auto &[name, value] : values) {
            TDbfField &field = t.fieldByName(name);
            if (field.isBlob())
                field.setMemoBytes(value);
            else
                field.setAsString(value);
        }
        t.post();
        t.close();
    }

    void remove(const char *table, int recNo) const
    {
        TDbf t;
        t.setFilePath(data());
        t.setTableName(table);
        t.open();
        t.setRecNo(recNo);
        t.deleteRecord();
        t.close();
    }

    // Dates the tables' files a minute back, as files left from an earlier session: the index
    // then trusts their stamps and keeps what it read from one search to the next.
    void age() const
    {
        const QDateTime past = QDateTime::currentDateTime().addSecs(-60);
        for (const QFileInfo &info : QDir(qdata()).entryInfoList(QDir::Files)) {
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadWrite))
                file.setFileTime(past, QFileDevice::FileModificationTime);
        }
    }

private:
    QTemporaryDir m_dir;
};

} // namespace searchtest
