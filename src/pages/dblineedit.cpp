#include "dblineedit.h"

DBLineEdit::DBLineEdit(QWidget *parent) : DataBoundControl(parent)
{
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] {
        if (TDbfField *field = m_link.field())
            field->setAsString(text().toStdString());
    };
    connect(this, &QLineEdit::textEdited, this, [this] { m_link.modified(); });
}

void DBLineEdit::setInputLimit(int characters)
{
    m_inputLimit = characters;
    showField();
}

void DBLineEdit::showField()
{
    TDbfField *field = m_link.field();
    const QString value = field ? QString::fromStdString(field->asString()) : QString();
    // Entering edit state at our own request re-reads the record; the caret stays where it was.
    if (m_link.requesting() && value == text())
        return;
    setText(value);
    const int width = field && field->dataType() == TFieldType::ftString && field->size() > 0 ? field->size() : 32767;
    setMaxLength(m_inputLimit > 0 ? m_inputLimit : width);
    setCursorPosition(0);
    // A table whose file lacks the field still opens: its control stays empty and out of reach.
    setEnabled(!m_link.missingField());
}

void DBLineEdit::cutToClipboard()
{
    if (hasSelectedText() && beginEdit()) {
        cut();
        m_link.modified();
    }
}

void DBLineEdit::pasteFromClipboard()
{
    if (beginEdit()) {
        paste();
        m_link.modified();
    }
}
