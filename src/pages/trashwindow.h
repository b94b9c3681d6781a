// The trash of a record page (`Corbeille`): the deleted records its table still holds, newest
// first, with a read-only preview, and three ways out of it.
//
//   "Restaurer" (Enter)            the selected records live again, with their index keys; the
//                                  last one becomes the page's current record
//   "Supprimer définitivement"     after the delete question (with a text of its own), the table
//                                  is compacted without the selected records
//   "Vider la corbeille"           the same for every deleted record
//
// Compaction closes the page's dataset, replaces its files (a copy of the old ones goes to
// "backup/" in the data folder first) and opens it again on the record that was current. When
// another process has the table open nothing happens and the window says so.
//
// The window is a child of its page, so the page's form translation reaches its texts; the
// hidden `LabelModele…` labels hold the texts made up at run time.
//
//     auto *trash = new TrashWindow(table, TrashWindow::Notes, this);
//     trash->setQuestion([](const QString &text) { return Avertissement->ask(text); });
//     connect(trash, &TrashWindow::tableChanged, this, &InfosPage::RebuildInfoLists);
//     trash->showTrash();
#pragma once

#include "deletequestion.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <set>

class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;
class QWidget;
class TDbf;

class TrashWindow : public QDialog
{
    Q_OBJECT
    // The window's title, as language files give it ("Corbeille.Caption").
    Q_PROPERTY(QString Caption READ windowTitle WRITE setWindowTitle)
public:
    enum Kind { Notes, Sheets, Cards };
    // The delete question with the text to ask; AnswerYes lets the removal go on.
    using Question = std::function<int(const QString &text)>;

    // The table must outlive the window.
    TrashWindow(TDbf &table, Kind kind, QWidget *parent);

    void setQuestion(Question ask) { m_ask = std::move(ask); }
    // Called before a compaction: whatever else in this program holds the table open (the
    // search index) lets it go.
    void setBeforeCompaction(std::function<void()> release) { m_release = std::move(release); }

    // Fills the list from the table and shows the window.
    void showTrash();
    void refreshList();

    // Gives a page its trash: the window, the command that opens it (Ctrl+Shift+T anywhere on
    // the page) and its button at the right end of the page's record bar.
    static TrashWindow *attach(TDbf &table, Kind kind, QWidget *page, QWidget *recordBar);

    QListWidget *ListeCorbeille() const { return m_list; }
    QTextEdit *ApercuCorbeille() const { return m_preview; }
    QPushButton *BtnRestaurer() const { return m_restore; }
    QPushButton *BtnSupprimer() const { return m_remove; }
    QPushButton *BtnVider() const { return m_empty; }

    void BtnRestaurerClick();
    void BtnSupprimerClick();
    void BtnViderClick();

signals:
    // Records came back or went: the page rebuilds its lists.
    void tableChanged();

private:
    void setupList();
    void setupButtons();
    void setupTexts();
    void showPreview();
    QString titleOf(std::uint32_t recNo) const;
    // Compacts the table, keeping the deleted records in `keep`; false when it was refused.
    bool compact(const std::set<std::uint32_t> &keep);
    std::set<std::uint32_t> selectedRecords() const;

    TDbf &m_table;
    Kind m_kind;
    Question m_ask;
    std::function<void()> m_release;
    QListWidget *m_list = nullptr;
    QTextEdit *m_preview = nullptr;
    QPushButton *m_restore = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_empty = nullptr;
    QPushButton *m_close = nullptr;
    QLabel *m_emptyNote = nullptr;
    // Texts made up at run time.
    QLabel *m_untitled = nullptr;
    QLabel *m_inUse = nullptr;
    QLabel *m_removeQuestion = nullptr;
    QLabel *m_emptyQuestion = nullptr;
};
