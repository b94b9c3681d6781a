// The data-bound rich-text editor (TRxDBRichEdit): the memo of the current record as a document.
//
// State machine of one editor (all transitions run on the event loop):
//
//     not loaded --loadMemo() ok--> loaded, read-only --request to edit (key, format, cut, paste)-->
//     loaded, editable (table in edit/insert) --post or a move: the document is written when changed,
//     then reloaded--> loaded, read-only.  Cancel reloads the stored document; Escape is the
//     page's, which asks before it cancels a changed record.
//     A load that fails shows "(Erreur au chargement de flux)" and stays not loaded and read-only
//     until the next record, a double click or Enter loads it.
//
// The request to begin editing keeps the caret: when the table enters edit state because of the
// editor itself, the reload that the record change would cause is skipped as long as the field
// still holds what it held just before the request (the field snapshot).
#pragma once

#include "databinding.h"
#include "rxrichedit.h"

class TRxDBRichEdit : public TRxCustomRichEdit
{
    Q_OBJECT
public:
    explicit TRxDBRichEdit(QWidget *parent = nullptr);

    void setDataSource(TDataSource *source) { m_link.setDataSource(source); }
    TDataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name) { m_link.setFieldName(name.toStdString()); }
    QString dataField() const { return QString::fromStdString(m_link.fieldName()); }
    TFieldDataLink &dataLink() { return m_link; }

    bool memoLoaded() const { return m_memoLoaded; }
    // Loads the memo of the current record when it is not loaded yet.
    void loadMemo();

    bool beginFormatChange() override;
    bool beginTextChange() override;

    // The largest memo a memo file can hold: its length is a 32-bit count that includes the
    // 8 bytes before the text. A larger document is refused at post, and nothing is stored.
    static constexpr qint64 MemoFileLimit = 0xFFFFFFF0LL - 8;
    void setMaxMemoBytes(qint64 bytes) { m_maxMemoBytes = bytes; }
    qint64 maxMemoBytes() const { return m_maxMemoBytes; }

    static constexpr const char *LoadErrorText = "Erreur au chargement de flux";
    static constexpr const char *SaveErrorText = "Erreur à l'enregistrement de flux";

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void dataChange();
    void updateData();
    void applyReadOnly();
    void textChanged();
    // The request to begin editing; true when the table is editing.
    bool editCanModify();
    bool handleKeyWhileNotLoaded(QKeyEvent *event);
    bool dropWaitsForEditing(const QDropEvent *event) const;

    TFieldDataLink m_link;
    bool m_memoLoaded = false;
    bool m_loading = false;
    bool m_stateChanging = false;
    std::string m_fieldSnapshot;
    qint64 m_maxMemoBytes = MemoFileLimit;
};
