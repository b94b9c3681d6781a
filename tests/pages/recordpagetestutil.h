// Helpers of the information and address book page tests: tables in a temporary folder, opened
// as the main window opens them, and a page on them answering the delete question as told.
#pragma once

#include "dbf.h"
#include "dbffile.h"
#include "deletequestion.h"

#include <QComboBox>
#include <algorithm>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace recordtest {

using Row = std::vector<std::string>;

// One table file in its own folder.
class TableFolder
{
public:
    TableFolder(const char *file, const char *name, std::vector<TDbfCreateField> fields)
        : m_file(file), m_name(name)
    {
        createDbfTable(path() + m_file, 0x8B, 0x57, fields, 512);
    }
    std::string path() const { return m_dir.path().toStdString() + "/"; }
    QString qpath() const { return m_dir.path() + QLatin1Char('/'); }

    std::unique_ptr<TDbf> open(bool readOnly = false) const
    {
        auto dataset = std::make_unique<TDbf>(m_name);
        dataset->setFilePath(path());
        dataset->setTableName(m_file);
        dataset->setReadOnly(readOnly);
        dataset->open();
        return dataset;
    }

    // Appends records, each row giving the first fields in stored order.
    void add(const std::vector<Row> &rows) const
    {
        auto dataset = open();
        for (const Row &row : rows) {
            dataset->insert();
            for (size_t i = 0; i < row.size(); ++i)
                dataset->field(int(i)).setAsString(row[i]);
            dataset->post();
        }
        dataset->close();
    }

private:
    QTemporaryDir m_dir;
    std::string m_file;
    std::string m_name;
};

// Another copy of the program, in a real child process, holding the folder's table open until
// this object goes away, and with `editing` its first record too (locked). Start an editing one
// before this process opens the table: a child forked later would share this process's open files.
class OtherCopy
{
public:
    OtherCopy(const TableFolder &folder, bool editing)
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
                if (editing)
                    table->edit();
                c = 'L';
            } catch (...) {
            }
            (void)!::write(ready[1], &c, 1);
            (void)!::read(m_release[0], &c, 1); // the table stays open (and locked) until here
            ::_exit(0);
        }
        char c = 0;
        m_locked = m_pid > 0 && ::read(ready[0], &c, 1) == 1 && c == 'L';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OtherCopy()
    {
        if (m_pid > 0) {
            (void)!::write(m_release[1], "q", 1);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
        ::close(m_release[0]);
        ::close(m_release[1]);
    }
    OtherCopy(const OtherCopy &) = delete;
    OtherCopy &operator=(const OtherCopy &) = delete;

    bool holds() const { return m_locked; }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
    bool m_locked = false;
};

struct InfosFolder : TableFolder
{
    InfosFolder() : TableFolder("infos.dbf", "Dbfinfos", {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}}) {}
};

// The address book as it ships, or without the fields named in `missing`.
inline std::vector<TDbfCreateField> addressFields(const std::vector<std::string> &missing = {})
{
    std::vector<TDbfCreateField> fields = {
        {"PRENOM", 'C', 35}, {"NOM", 'C', 35}, {"ADRESSE", 'C', 120}, {"VILLE", 'C', 40},
        {"CP", 'C', 8},      {"PAYS", 'C', 40}, {"TEL", 'C', 20},      {"FAX", 'C', 20},
        {"NOTES", 'M', 10},  {"EMAIL", 'C', 120}, {"WEB", 'C', 120},   {"MOBILE", 'C', 20}};
    std::erase_if(fields, [&](const TDbfCreateField &f) {
        return std::find(missing.begin(), missing.end(), f.name) != missing.end();
    });
    return fields;
}

struct AddressFolder : TableFolder
{
    explicit AddressFolder(const std::vector<std::string> &missing = {})
        : TableFolder("adbook.dbf", "Dbfadbook", addressFields(missing)) {}
};

inline std::string fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Shows a page at the size the notebook gives it, and waits until it takes the keyboard.
inline void showPage(QWidget &page)
{
    page.resize(705, 377);
    page.show();
    page.activateWindow();
    (void)QTest::qWaitForWindowActive(&page);
}

// Picks entry `index` of a list as a click on it does.
inline void pick(QComboBox *list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

inline QStringList entries(const QComboBox *list)
{
    QStringList all;
    for (int i = 0; i < list->count(); ++i)
        all << list->itemText(i);
    return all;
}

} // namespace recordtest
