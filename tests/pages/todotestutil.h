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
#include <sys/wait.h>
#include <unistd.h>

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

// Another copy of the program, in a real child process, editing (and so locking) the first note
// of the folder's memo table until this object goes away. Start it before this process opens
// the table: a child forked later would share this process's open files.
class OtherCopyEditing
{
public:
    explicit OtherCopyEditing(const MemoFolder &folder)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            char c = 'x';
            std::unique_ptr<TDbf> table;
            try {
                table = folder.open();
                table->edit();
                c = 'L';
            } catch (...) {
            }
            (void)!::write(ready[1], &c, 1);
            (void)!::read(m_release[0], &c, 1); // the table stays open, and locked, until here
            ::_exit(0);
        }
        char c = 0;
        m_locked = m_pid > 0 && ::read(ready[0], &c, 1) == 1 && c == 'L';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OtherCopyEditing()
    {
        if (m_pid > 0) {
            (void)!::write(m_release[1], "q", 1);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::close(m_release[0]);
        ::close(m_release[1]);
    }
    OtherCopyEditing(const OtherCopyEditing &) = delete;
    OtherCopyEditing &operator=(const OtherCopyEditing &) = delete;

    bool holdsTheLock() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
    bool m_locked = false;
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
