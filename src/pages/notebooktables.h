// The notebook's three tables: `Dbfinfos` (infos.dbf, walked by descending title when infos.mdx
// holds that tag), `Dbfmemo` (memo.dbf) and `Dbfadbook` (adbook.dbf).
//
// Created before any page so that the pages can bind to the datasets; the files are opened by
// openAll() (the window's first activation) and closed by closeAll() ("X"). The datasets live as
// long as this object, which must outlive every control bound to them.
//
//     auto *tables = new NotebookTables;
//     tables->setFolder(dataDirectory);   // ends with "/"
//     tables->openAll();                  // infos, memo, address book, each on its own
#pragma once

#include "dbf.h"

#include <QObject>

class NotebookTables : public QObject
{
    Q_OBJECT
public:
    explicit NotebookTables(QObject *parent = nullptr);
    ~NotebookTables() override;

    TDbf &Dbfinfos() { return m_infos; }
    TDbf &Dbfmemo() { return m_memo; }
    TDbf &Dbfadbook() { return m_adbook; }

    // Points the three tables at their files in `folder` (with its trailing "/"); only while
    // they are closed.
    void setFolder(const QString &folder);
    // Opens the tables, read-only when asked, only while they are closed.
    void setReadOnly(bool readOnly);
    // Opens the tables in the order infos, memo, address book; an open table stays as it is.
    // Each opens or fails on its own: one that fails does not keep the others closed. After
    // trying them all, the failures are thrown as one error, one line per table.
    void openAll();
    // Closes the tables in the order infos, memo, address book.
    void closeAll();

private:
    TDbf m_infos{"Dbfinfos"};
    TDbf m_memo{"Dbfmemo"};
    TDbf m_adbook{"Dbfadbook"};
};
