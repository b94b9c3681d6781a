#include "notebooktables.h"

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

void NotebookTables::openAll()
{
    for (TDbf *table : {&m_infos, &m_memo, &m_adbook})
        if (!table->active())
            table->open();
}

void NotebookTables::closeAll()
{
    for (TDbf *table : {&m_infos, &m_memo, &m_adbook})
        table->close();
}
