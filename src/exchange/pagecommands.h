// The exchange commands of one record page: print with a preview (Ctrl+P), export the current
// record or all of them, and on the address book import cards. They sit in the menu of a
// button on the page's record bar; their texts and hints are translated with the window's.
//
//     PageCommands::Hooks hooks;
//     hooks.postPending = [page] { page->postPendingEdit(); };
//     hooks.addCurrent = [page](exchange::NoteDocument &doc) { doc.addSection(title, {}, body); };
//     new PageCommands(PageCommands::Notes, 1, dataDirectory, page, page->ToolBar1(), hooks);
//
// Printing and exporting the current record take it as the page shows it, typed changes
// included; exporting all records and importing first end an edit as a move would, then read
// the tables themselves.
#pragma once

#include "contactcard.h"

#include <QObject>

#include <functional>

class QAction;
class QToolButton;
class QWidget;

namespace exchange {
class NoteDocument;
}

class PageCommands : public QObject
{
    Q_OBJECT
public:
    enum Kind { Notes, Sheets, Cards };
    struct Hooks
    {
        std::function<void()> postPending;
        std::function<void(exchange::NoteDocument &)> addCurrent; // notes and sheets
        std::function<exchange::ContactCard()> currentCard;       // cards
        std::function<exchange::CardLabels()> labels;             // cards: the page's labels
        std::function<void()> afterImport;                        // cards: refresh the page
    };

    // `suffix` numbers the components like the page's record actions (1, 2, 3). The button is
    // placed at the right end of `bar`; the actions belong to `page` and work in all its fields.
    PageCommands(Kind kind, int suffix, const QString &dataDirectory, QWidget *page, QWidget *bar,
                 Hooks hooks);

    QAction *ActionImprimer() const { return m_print; }
    QAction *ActionExporter() const { return m_exportCurrent; }
    QAction *ActionExporterTout() const { return m_exportAll; }
    QAction *ActionImporter() const { return m_import; } // nullptr but on the address book
    QToolButton *button() const { return m_button; }

    void print();
    void exportCurrent();
    void exportAll();
    void importCards();

private:
    QAction *addAction(const char *name, const QString &text, const QString &hint, const QKeySequence &keys);
    QString askSavePath(const QString &caption, const QString &baseName);
    void showError(const QString &message);

    Kind m_kind;
    int m_suffix;
    QString m_dataDirectory;
    QWidget *m_page;
    Hooks m_hooks;
    QAction *m_print = nullptr;
    QAction *m_exportCurrent = nullptr;
    QAction *m_exportAll = nullptr;
    QAction *m_import = nullptr;
    QToolButton *m_button = nullptr;
};
