// A multi-line plain-text field bound to a memo or character field of a data source (`DBMemo1`
// on the address book page).
//
// It shows the field of the current record. The first change the user makes (a key, a paste,
// a drop) asks the data source to begin editing; a character the table's code page cannot hold
// is refused with a beep; the text is written into the
// record buffer when the record is updated (post, a move) or when the field loses the focus.
// Lines are stored with CR LF, as the notes have always been kept.
#pragma once

#include "databinding.h"

#include <QPlainTextEdit>

class DBMemo : public DataBoundControl<QPlainTextEdit, true>
{
    Q_OBJECT
public:
    explicit DBMemo(QWidget *parent = nullptr);


    // Clipboard operations that first ask to begin editing (the bar's cut and paste actions).
    void cutToClipboard();
    void pasteFromClipboard();

protected:
    void insertFromMimeData(const QMimeData *source) override;

private:
    void showField();

    bool m_showing = false;
};
