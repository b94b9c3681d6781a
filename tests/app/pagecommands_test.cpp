// The print, export and import keys of the three record pages, pressed with the focus in every
// kind of field a page has: each reaches its command and leaves the field's text as it was.
#include "programtestutil.h"

#include "addresspage.h"
#include "dbmemo.h"
#include "infospage.h"
#include "rxdbrichedit.h"

#include <QAction>
#include <QComboBox>
#include <QSignalSpy>
#include <QTextEdit>

using programtest::Program;

namespace {

QString textOf(QWidget *w)
{
    if (auto *line = qobject_cast<QLineEdit *>(w))
        return line->text();
    if (auto *edit = qobject_cast<QTextEdit *>(w))
        return edit->toPlainText();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(w))
        return plain->toPlainText();
    if (auto *box = qobject_cast<QComboBox *>(w))
        return box->currentText();
    return {};
}

TEST(PageCommands, PrintExportAndImportKeysWorkFromEveryKindOfField)
{
    Program p;
    p.form->notebook()->show();
    struct PageFields
    {
        QWidget *page;
        int suffix;
        std::vector<QWidget *> fields;
    };
    const PageFields pages[] = {
        {p.todo(), 1, {p.todo()->DBEdit1(), p.todo()->editor1()}},
        {p.form->infosPage(), 2,
         {p.form->infosPage()->DBEdit2(), p.form->infosPage()->ComboBox1(), p.form->infosPage()->editor2()}},
        {p.form->addressPage(), 3,
         {p.form->addressPage()->fieldEdit(QStringLiteral("NOM")), p.form->addressPage()->ComboBox3(),
          p.form->addressPage()->DBMemo1()}},
    };
    for (const PageFields &page : pages) {
        p.form->notebook()->setCurrentWidget(page.page);
        std::vector<std::pair<QKeySequence, QAction *>> keys = {
            {QKeySequence(Qt::CTRL | Qt::Key_P), page.page->findChild<QAction *>(QStringLiteral("ActionImprimer%1").arg(page.suffix))},
            {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), page.page->findChild<QAction *>(QStringLiteral("ActionExporter%1").arg(page.suffix))}};
        if (page.suffix == 3)
            keys.push_back({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I), page.page->findChild<QAction *>(QStringLiteral("ActionImporter3"))});
        for (auto &[key, action] : keys) {
            ASSERT_NE(action, nullptr) << key.toString().toStdString();
            // The command itself opens a modal dialog; here only its reaching counts.
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            QSignalSpy spy(action, &QAction::triggered);
            for (QWidget *field : page.fields) {
                field->setFocus();
                ASSERT_TRUE(QTest::qWaitFor([field] { return field->hasFocus() || field->isAncestorOf(QApplication::focusWidget()); }, 2000));
                const QString before = textOf(field);
                const int count = spy.count();
                p.press(key[0].key(), key[0].keyboardModifiers());
                EXPECT_EQ(spy.count(), count + 1) << key.toString().toStdString() << " from " << field->objectName().toStdString();
                EXPECT_EQ(textOf(field), before) << key.toString().toStdString() << " typed into " << field->objectName().toStdString();
            }
        }
    }
}

} // namespace
