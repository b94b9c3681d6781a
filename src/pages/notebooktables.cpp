#include "notebooktables.h"

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

NotebookTables::NotebookTables(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("NotebookTables"));
    // The tag of empty name in infos.mdx orders the sheets when the file ships with it.
    m_infos.indexes().push_back(TDbfIndexDef{"", "TITRE", ixDescending});
}

NotebookTables::~NotebookTables() = default;

void NotebookTables::setFolder(const QString &folder)
{
    const std::string path = folder.toStdString();
    m_infos.setFilePath(path);
    m_infos.setTableName("infos.dbf");
    m_memo.setFilePath(path);
    m_memo.setTableName("memo.dbf");
    m_adbook.setFilePath(path);
    m_adbook.setTableName("adbook.dbf");
}

void NotebookTables::setReadOnly(bool readOnly)
{
    for (TDbf *table : {&m_infos, &m_memo, &m_adbook})
        table->setReadOnly(readOnly);
}

void NotebookTables::openAll()
{
    std::vector<std::exception_ptr> failed;
    std::string lines;
    for (TDbf *table : {&m_infos, &m_memo, &m_adbook}) {
        if (table->active())
            continue;
        try {
            table->open();
        } catch (const std::exception &e) {
            failed.push_back(std::current_exception());
            lines += (lines.empty() ? "" : "\n") + std::string(e.what());
        }
    }
    if (failed.size() == 1)
        std::rethrow_exception(failed.front());
    if (!failed.empty())
        throw std::runtime_error(lines);
}

void NotebookTables::closeAll()
{
    for (TDbf *table : {&m_infos, &m_memo, &m_adbook})
        table->close();
}
