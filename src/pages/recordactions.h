// The nine record actions of one data source (first, prior, next, last, cancel, post, edit,
// insert, delete), as QActions whose enabled state follows the dataset.
//
// The actions of the to-do page carry the suffix 1 (`DataSetFirst1` ... `DataSetDelete1`), those
// of the information page 2 and of the address book 3. They act on the dataset directly; a
// failing operation throws, and the error travels to the application's error box with the table
// left as it was. The enabled states are refreshed after every change the dataset reports and
// whenever the event loop falls idle.
//
// The keys are those no text field uses: Ctrl+Page Up/Down previous and next, Alt+Home/End first
// and last, Ctrl+N new, Ctrl+S store, Ctrl+Shift+Delete delete (through the question). Escape
// (`Abandon`, on no button) leaves editing, asking first when something was changed. A new record
// stays current once stored, and the focus goes to the page's first field after a new record, a
// delete or a cancel.
//
//     RecordActions actions(Dbfmemo, 1, this);
//     actions.DataSetPost->trigger();
#pragma once

#include "deletequestion.h"

#include <QAction>
#include <QIcon>
#include <QObject>
#include <array>

class QWidget;
class TDbf;

class RecordActions : public QObject
{
    Q_OBJECT
public:
    // The dataset must outlive the actions.
    RecordActions(TDbf &dataset, int suffix, QObject *parent = nullptr);
    ~RecordActions() override;

    TDbf &dataset() const { return m_dataset; }

    QAction *DataSetFirst = nullptr;
    QAction *DataSetPrior = nullptr;
    QAction *DataSetNext = nullptr;
    QAction *DataSetLast = nullptr;
    QAction *DataSetCancel = nullptr;
    QAction *DataSetPost = nullptr;
    QAction *DataSetEdit = nullptr;
    QAction *DataSetInsert = nullptr;
    QAction *DataSetDelete = nullptr;
    QAction *Abandon = nullptr; // Escape: abandonEdit()

    // In the order of the table above, for loops and tests.
    std::array<QAction *, 9> all() const;

    // Gives the actions to `page`: their keys work while the focus is on it, and the keys its
    // text fields edit with stay theirs, editing begun or not. Enter in a bound single-line
    // field posts.
    void attachTo(QWidget *page);

    // Asked before Escape drops changes; AnswerYes drops them. Without one they are kept.
    void setDiscardQuestion(DeleteQuestion ask) { m_askDiscard = std::move(ask); }
    // Leaves edit or insert: the controls' pending text goes to the record first; a changed
    // record is cancelled only when the discard question answers yes.
    void abandonEdit();

    // Sets every action's enabled state from the dataset now.
    void updateEnabled();

    // The picture of image number `index` of the record bars' image list (0 to 3 and 7 to 11),
    // a null icon for any other number.
    static QIcon image(int index);

private:
    QAction *makeAction(const char *baseName, int suffix, const char *caption, const char *hint,
                        int imageIndex);
    void connectOperations();
    void setupShortcuts();
    void postAndStay();
    void focusFirstField();

    TDbf &m_dataset;
    QWidget *m_page = nullptr;
    DeleteQuestion m_askDiscard;
    int m_listenerId = 0;
};
