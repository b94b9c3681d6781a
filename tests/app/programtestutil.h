// The whole program on temporary tables, for tests that walk a user's road through it.
#pragma once

#include "dbf.h"
#include "mainwindow.h"
#include "notebooktables.h"
#include "todopage.h"
#include "dblineedit.h"
#include "ualarm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace programtest {

// The program shown on its shipped tables, with three notes "Un", "Deux", "Trois", and a delete
// question that answers "Oui".
struct Program
{
    Program()
    {
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        form = std::make_unique<Form1>(dir.path() + QLatin1Char('/'));
        for (const char *name : {"memo.dbf", "memo.dbt", "infos.dbf", "infos.dbt", "infos.mdx",
                                 "adbook.dbf", "adbook.dbt"})
            QFile::copy(QStringLiteral(VELMORA_SHIPPED_DATA_DIR "/") + name, form->dataDirectory() + name);
        TDbf memo("writer");
        memo.setFilePath(form->dataDirectory().toStdString());
        memo.setTableName("memo.dbf");
        memo.open();
        for (const char *title : {"Un", "Deux", "Trois"}) {
            memo.insert();
            memo.fieldByName("TITRE").setAsString(title);
            memo.post();
        }
        memo.close();
        form->setDeleteQuestion(&question);
        form->show();
        QApplication::setActiveWindow(form.get());
        EXPECT_TRUE(QTest::qWaitFor([this] { return form->activated(); }, 5000)) << "the window activated";
    }

    // The titles stored in memo.dbf, read by a dataset of its own.
    QStringList storedTitles() const
    {
        TDbf memo("reader");
        memo.setFilePath(form->dataDirectory().toStdString());
        memo.setTableName("memo.dbf");
        memo.open();
        QStringList titles;
        for (memo.first(); !memo.eof(); memo.next())
            titles << QString::fromStdString(memo.fieldByName("TITRE").asString());
        return titles;
    }

    // A key as the user presses it: to whatever has the focus.
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
        QTest::keyClick(target, Qt::Key(key), modifiers);
    }
    void type(QWidget *field, const QString &text)
    {
        field->setFocus();
        QTest::keyClicks(field, text);
    }
    void answerYesWhenAsked()
    {
        QTimer::singleShot(0, &question, [this] {
            if (question.isVisible())
                QTest::mouseClick(question.BtnOK, Qt::LeftButton);
        });
    }

    TodoPage *todo() const { return form->todoPage(); }
    QString title() const { return todo()->DBEdit1()->text(); }
    TDataSetState state() const { return form->tables().Dbfmemo().state(); }
    QWidget *currentPage() const { return form->notebook()->currentWidget(); }
    bool focusIn(QWidget *page) const { return page->isAncestorOf(QApplication::focusWidget()); }

    QTemporaryDir dir;
    TAvertissement question;
    std::unique_ptr<Form1> form;
};

} // namespace programtest
