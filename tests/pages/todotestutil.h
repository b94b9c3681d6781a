// Helpers of the to-do page tests: a fresh memo table in a temporary directory, and the error
// box's messages.
#pragma once

#include "application.h"
#include "dbf.h"
#include "formatbar.h"
#include "pagemode.h"
#include "recordpagetestutil.h"
#include "todopage.h"
#include "ualarm.h"

#include <QStringList>
#include <initializer_list>
#include <string>

namespace todotest {

// A data folder holding an empty memo.dbf / memo.dbt as the program ships them.
struct MemoFolder : recordtest::TableFolder
{
    MemoFolder() : TableFolder("memo.dbf", "Dbfmemo", {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}}) {}

    // Appends notes with these titles and no text.
    void addNotes(std::initializer_list<const char *> titles) const
    {
        std::vector<recordtest::Row> rows;
        for (const char *title : titles)
            rows.push_back({title});
        add(rows);
    }
};

// The page on the folder's table, shown, asking the real confirmation dialog.
struct PageFixture
{
    explicit PageFixture(const MemoFolder &folder)
        : table(folder.open()), page(*table, format, [this] { return dialog.ask(); })
    {
        recordtest::showPage(page);
    }
    std::unique_ptr<TDbf> table;
    TAvertissement dialog;
    PageMode mode;
    FormatActions format{mode};
    TodoPage page;
};

// Collects what the error box would have shown while alive.
class ErrorReports
{
public:
    ErrorReports()
    {
        Application::instance()->setErrorReporter([this](const QString &m) { messages << m; });
    }
    ~ErrorReports() { Application::instance()->setErrorReporter([](const QString &) {}); }
    QStringList messages;
};

} // namespace todotest
