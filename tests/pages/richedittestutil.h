// Helpers of the editor tests: a memo table in a temporary directory, with a data source, and
// the bound editor in a shown window.
#pragma once

#include "databinding.h"
#include "dbf.h"
#include "rxdbrichedit.h"
#include "todotestutil.h"

#include <QTest>
#include <QTextBlock>
#include <QWidget>

#include <memory>
#include <string>

namespace richtest {

class MemoTable
{
public:
    // A memo table with a title and a memo field, holding one record per memo given (an empty
    // string leaves the record without a memo block).
    explicit MemoTable(std::initializer_list<std::string> memos = {})
    {
        dataset = m_folder.open();
        int number = 1;
        for (const std::string &memo : memos) {
            dataset->insert();
            dataset->fieldByName("TITRE").setAsString("note " + std::to_string(number++));
            if (!memo.empty())
                dataset->fieldByName("MEMO").setMemoBytes(memo);
            dataset->post();
        }
        dataset->first();
        source = std::make_unique<TDataSource>(dataset.get());
    }
    ~MemoTable()
    {
        source.reset();
        dataset->close();
    }

    std::string path() const { return m_folder.path(); }
    std::string storedMemo() const { return dataset->fieldByName("MEMO").memoBytes(); }
    TDataSetState state() const { return dataset->state(); }

    std::unique_ptr<TDbf> dataset;
    std::unique_ptr<TDataSource> source;

private:
    todotest::MemoFolder m_folder;
};

// A window holding one bound editor, shown and focused.
struct EditorWindow
{
    explicit EditorWindow(TDataSource *source, const char *field = "MEMO")
    {
        window.resize(700, 400);
        editor = new TRxDBRichEdit(&window);
        editor->setObjectName(QStringLiteral("editor1"));
        editor->setGeometry(40, 40, 641, 265);
        editor->setDataField(QString::fromLatin1(field));
        editor->setDataSource(source);
        window.show();
        window.activateWindow();
        editor->setFocus();
    }

    // The centre of the character at a document position, in viewport coordinates.
    QPoint pointAt(int position) const
    {
        QTextCursor cursor(editor->document());
        cursor.setPosition(position);
        const QRect before = editor->cursorRect(cursor);
        cursor.setPosition(position + 1);
        const QRect after = editor->cursorRect(cursor);
        return QPoint((before.left() + after.left()) / 2, before.center().y());
    }

    QWidget window;
    TRxDBRichEdit *editor = nullptr;
};

} // namespace richtest
