// The nine record actions of one data source (first, prior, next, last, cancel, post, edit,
// insert, delete), as QActions whose enabled state follows the dataset.
//
// The actions of the to-do page carry the suffix 1 (`DataSetFirst1` ... `DataSetDelete1`), those
// of the information page 2 and of the address book 3. They act on the dataset directly; a
// failing operation throws, and the error travels to the application's error box with the table
// left as it was. The enabled states are refreshed after every change the dataset reports and
// whenever the event loop falls idle.
//
//     RecordActions actions(Dbfmemo, 1, this);
//     actions.DataSetPost()->trigger();
#pragma once

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

    QAction *DataSetFirst() const { return m_dataSetFirst; }
    QAction *DataSetPrior() const { return m_dataSetPrior; }
    QAction *DataSetNext() const { return m_dataSetNext; }
    QAction *DataSetLast() const { return m_dataSetLast; }
    QAction *DataSetCancel() const { return m_dataSetCancel; }
    QAction *DataSetPost() const { return m_dataSetPost; }
    QAction *DataSetEdit() const { return m_dataSetEdit; }
    QAction *DataSetInsert() const { return m_dataSetInsert; }
    QAction *DataSetDelete() const { return m_dataSetDelete; }

    // In the order of the table above, for loops and tests.
    std::array<QAction *, 9> all() const;

    // Gives the actions to `page`: their shortcuts (Ctrl+N, Ctrl+S, Escape, Ctrl+Delete,
    // Ctrl+Page Up/Down, Ctrl+Home/End) work while the focus is on it. In its single-line fields
    // the record meaning of Ctrl+Home, Ctrl+End and Ctrl+Delete wins over the field's own; the
    // multi-line editors keep theirs. Enter in a bound single-line field posts.
    void attachTo(QWidget *page);

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

    TDbf &m_dataset;
    int m_listenerId = 0;
    QAction *m_dataSetFirst = nullptr;
    QAction *m_dataSetPrior = nullptr;
    QAction *m_dataSetNext = nullptr;
    QAction *m_dataSetLast = nullptr;
    QAction *m_dataSetCancel = nullptr;
    QAction *m_dataSetPost = nullptr;
    QAction *m_dataSetEdit = nullptr;
    QAction *m_dataSetInsert = nullptr;
    QAction *m_dataSetDelete = nullptr;
};
