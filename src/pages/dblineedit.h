// A single-line text field bound to a character field of a data source.
//
// It shows the field of the current record. The first change the user makes asks the data
// source to begin editing; a character the table's code page cannot hold is refused with a
// beep; the text is written into the record buffer when
// the record is updated (post, a move) or when the field loses the focus.
#pragma once

#include "databinding.h"

#include <QLineEdit>

class DBLineEdit : public DataBoundControl<QLineEdit, false>
{
    Q_OBJECT
public:
    explicit DBLineEdit(QWidget *parent = nullptr);

    // The most characters the user may type; 0 takes the width of the field.
    void setInputLimit(int characters);

    // Clipboard operations that first ask to begin editing (the bar's cut and paste actions).
    void cutToClipboard();
    void pasteFromClipboard();

protected:

private:
    void showField();

    int m_inputLimit = 0;
};
