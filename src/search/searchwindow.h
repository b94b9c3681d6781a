// The search window: a small popup with a line edit on top and the matching records below.
//
// Results follow the typing after a short pause. Enter or a click on a row asks for that record
// (recordRequested) and closes the window; Escape or a click outside closes it. The window owns
// the index, kept for the run. While the index is still being built, typing is not held up: the
// results come once it is ready (Enter waits for them).
//
//     auto *search = new SearchWindow(dataDirectory(), this);
//     search->index().watch(*Dbfmemo, SearchIndex::Notes);
//     connect(search, &SearchWindow::recordRequested, this, &Form1::jumpToRecord);
//     search->popup(mapToGlobal(QPoint(360, 40)));
//
// Its texts are captions and hints of named widgets, so language files replace them: the line
// edit's hint is also its placeholder, and the two hidden `LabelModele…` labels hold the texts
// made up at run time.
#pragma once

#include "searchindex.h"

#include <QFrame>

#include <memory>

class QLabel;
class QLineEdit;
class QListView;
class QTimer;
class SearchResultModel;

class SearchWindow : public QFrame
{
    Q_OBJECT
public:
    static constexpr int DebounceMilliseconds = 100;

    // dataDirectory: the folder of the tables, ending with "/".
    explicit SearchWindow(const QString &dataDirectory, QWidget *parent = nullptr);
    // Over an index made (and perhaps built) before the window: it is the window's from now on.
    explicit SearchWindow(std::unique_ptr<SearchIndex> index, QWidget *parent = nullptr);
    ~SearchWindow() override;

    SearchIndex &index() { return *m_index; }

    // Shows the window with its top left corner at `globalTopLeft`, the last query selected.
    void popup(QPoint globalTopLeft);
    // Searches for the line edit's text now (the pause after typing ends here).
    void runSearch();
    // Asks for the record of result row `row` and closes the window.
    void openRow(int row);

signals:
    // table: a SearchIndex::Table; recNo: physical record number; inText: the words were found
    // in the record's text, not only in its title.
    void recordRequested(int table, int recNo, bool inText);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *EditRecherche = nullptr;
    QListView *ListeResultats = nullptr;
    QLabel *LabelAucunResultat = nullptr;
    QLabel *LabelAutres = nullptr;
    QLabel *LabelModeleAutres = nullptr;    // "%d": the number of matches not shown
    QLabel *LabelModeleSansTitre = nullptr; // the title of a record without one
    void setupEdit();
    void setupResults();
    void setupTexts();
    void showResult(const SearchIndex::Result &result);
    // After the pause: at once, or when the index is ready.
    void searchWhenReady();
    bool moveSelection(int key);

    std::unique_ptr<SearchIndex> m_index;
    SearchResultModel *m_model = nullptr;
    QTimer *m_pause = nullptr;
    bool m_searchPending = false; // typed while the index was being built
};
