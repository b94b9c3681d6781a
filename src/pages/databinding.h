// The binding between a dataset and the controls that show its current record.
//
// TDataSource hears the dataset's notifications and passes them to every field data link bound
// to it; with AutoEdit on, a link may ask it to put a browsing dataset into edit state (on an
// empty table that inserts a new record). A TFieldDataLink binds one control to one field: it
// tells the control when to show the record again, when the editing state changed and when to
// write its pending value into the record buffer (only if the control reported a change).
//
//     TDataSource DataSource1(&Dbfmemo);
//     TFieldDataLink link;
//     link.setDataSource(&DataSource1);
//     link.setFieldName("MEMO");
//     link.onDataChange = [&] { show(link.field()->memoBytes()); };
//     link.onUpdateData = [&] { link.field()->setMemoBytes(pending()); };
#pragma once

#include "dbf.h"

#include <QKeyEvent>
#include <QObject>

// Keeps a dataset's bound controls from being refreshed during a walk through the table.
// enable() refreshes them once at the end; when the walk fails they are enabled again on the
// way out, and the walk's own error is the one that travels on.
class ControlsDisabled
{
public:
    explicit ControlsDisabled(TDbf &dataset) : m_dataset(dataset) { m_dataset.disableControls(); }
    ~ControlsDisabled();
    ControlsDisabled(const ControlsDisabled &) = delete;
    ControlsDisabled &operator=(const ControlsDisabled &) = delete;

    void enable();

private:
    TDbf &m_dataset;
    bool m_enabled = false;
};

#include <functional>
#include <string>
#include <vector>

class QKeyEvent;
class TFieldDataLink;

class TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(TDbf *dataset = nullptr, QObject *parent = nullptr);
    ~TDataSource() override;

    TDbf *dataSet() const { return m_dataset; }
    // The dataset must outlive the data source or be replaced before it goes.
    void setDataSet(TDbf *dataset);
    bool autoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool on) { m_autoEdit = on; }
    TDataSetState state() const;

    // Puts a browsing dataset into edit state when AutoEdit is on. Errors of the dataset
    // ("Record locked.") travel to the caller.
    void edit();

private:
    friend class TFieldDataLink;
    void dataEvent(TDataEvent event, TDbfField *field);

    TDbf *m_dataset = nullptr;
    int m_listenerId = 0;
    bool m_autoEdit = true;
    std::vector<TFieldDataLink *> m_links;
};

class TFieldDataLink
{
public:
    TFieldDataLink() = default;
    ~TFieldDataLink();
    TFieldDataLink(const TFieldDataLink &) = delete;
    TFieldDataLink &operator=(const TFieldDataLink &) = delete;

    TDataSource *dataSource() const { return m_source; }
    void setDataSource(TDataSource *source);
    const std::string &fieldName() const { return m_fieldName; }
    void setFieldName(const std::string &name);

    // The bound field, or nullptr when there is no open dataset or no such field.
    TDbfField *field() const;
    // The dataset is open but has no field of this name.
    bool missingField() const;
    // True while the dataset is in edit or insert state.
    bool editing() const;
    // A field is bound and its dataset can be changed.
    bool canModify() const;

    // The request to begin editing: asks the data source to edit when the field can be modified
    // and the dataset is browsing; true when the dataset is now editing.
    bool edit();
    // A control's keystroke asks to edit: true when the field may take it. An unbound control
    // edits freely; a refused request beeps. While the request runs requesting() is set, so that
    // the record shown again by the edit does not overwrite what is being typed.
    bool requestEdit();
    bool requesting() const { return m_requesting; }
    // A keystroke on a bound control: a character the field's code page cannot hold beeps, and a
    // key that changes the text first asks to edit. False when the key was dealt with here and
    // must not reach the control; Return and Enter change the text only of a multi-line control.
    // Escape is the page's: it asks before anything typed is dropped.
    bool passKey(QKeyEvent *event, bool multiLine);
    // The control changed its value: it will be written at the next record update.
    void modified() { m_modified = true; }
    // Forgets the control's change and shows the record buffer again (Escape).
    void reset();
    // Writes the control's change into the record buffer now, if it has one.
    void updateRecord();

    // What the control does; each may be empty.
    std::function<void()> onDataChange;    // show the field of the current record again
    std::function<void()> onEditingChange; // the dataset entered or left edit/insert state
    std::function<void()> onUpdateData;    // write the pending value into the field

private:
    friend class TDataSource;
    void dataEvent(TDataEvent event, TDbfField *field);

    TDataSource *m_source = nullptr;
    std::string m_fieldName;
    bool m_modified = false;
    bool m_requesting = false;
    bool m_updating = false;
    bool m_wasEditing = false;
};

// A control bound to one field through its own field data link: what DBLineEdit, DBMemo and
// TRxDBRichEdit share. A key the field refuses never reaches the control, and leaving the control
// writes its change into the record buffer. MultiLine: Return and Enter change the text.
template <class Control, bool MultiLine>
class DataBoundControl : public Control
{
public:
    using Control::Control;

    void setDataSource(TDataSource *source) { m_link.setDataSource(source); }
    TDataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name) { m_link.setFieldName(name.toStdString()); }
    QString dataField() const { return QString::fromStdString(m_link.fieldName()); }
    TFieldDataLink &dataLink() { return m_link; }

protected:
    bool beginEdit() { return m_link.requestEdit(); }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_link.passKey(event, MultiLine))
            Control::keyPressEvent(event);
        else
            event->accept();
    }
    void focusOutEvent(QFocusEvent *event) override
    {
        Control::focusOutEvent(event);
        m_link.updateRecord();
    }

    TFieldDataLink m_link;
};
