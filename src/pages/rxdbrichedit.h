// The data-bound rich-text editor (TRxDBRichEdit): the memo of the current record as a document.
//
// State machine of one editor (all transitions run on the event loop):
//
//     not loaded --loadMemo() ok--> loaded, read-only --request to edit (key, format, cut, paste)-->
//     loaded, editable (table in edit/insert) --post or a move: the document is written when changed,
//     then reloaded--> loaded, read-only.  Cancel reloads the stored document; Escape is the
//     page's, which asks before it cancels a changed record.
//     A load that fails shows "(Erreur au chargement de flux)" and stays not loaded and read-only
//     until the next record, a double click or Enter loads it. A memo the memo file gives only in
//     part is loaded as far as it goes, with a notice over it.
//
// The request to begin editing keeps the caret: when the table enters edit state because of the
// editor itself, the reload that the record change would cause is skipped as long as the field
// still holds what it held just before the request (the field snapshot).
#pragma once

#include "databinding.h"
#include "dbtfile.h"
#include "rxrichedit.h"

class QLabel;

class TRxDBRichEdit : public DataBoundControl<TRxCustomRichEdit, true>
{
    Q_OBJECT
public:
    explicit TRxDBRichEdit(QWidget *parent = nullptr);


    bool memoLoaded() const { return m_memoLoaded; }
    // Loads the memo of the current record when it is not loaded yet.
    void loadMemo();

    bool beginFormatChange() override;
    bool beginTextChange() override;

    // The largest memo the table engine writes (and reads). A larger document is refused at
    // post, and nothing is stored.
    static constexpr qint64 MemoFileLimit = qint64(TDbtFile::kMaxMemoBytes);
    void setMaxMemoBytes(qint64 bytes) { m_maxMemoBytes = bytes; }

    static constexpr const char *LoadErrorText = "Erreur au chargement de flux";
    static constexpr const char *SaveErrorText = "Erreur à l'enregistrement de flux";
    // Shown above a memo that the memo file could only give in part.
    static constexpr const char *PartialMemoText =
        "Cette note n'a pu être lue qu'en partie : son fichier de mémos est endommagé.";
    // The notice above, while it is shown.
    QLabel *partialMemoNotice() const { return m_partialNotice; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void dataChange();
    void updateData();
    void applyReadOnly();
    void showPartialNotice(bool shown);
    void placePartialNotice();
    void textChanged();
    // The request to begin editing; true when the table is editing.
    bool editCanModify();
    bool handleKeyWhileNotLoaded(QKeyEvent *event);
    bool dropWaitsForEditing(const QDropEvent *event) const;

    bool m_memoLoaded = false;
    bool m_loading = false;
    bool m_stateChanging = false;
    std::string m_fieldSnapshot;
    qint64 m_maxMemoBytes = MemoFileLimit;
    QLabel *m_partialNotice = nullptr;
};
