#include "dbmemo.h"

#include <QApplication>
#include <QMimeData>

namespace {

QString fromStored(const std::string &value)
{
    QString text = QString::fromStdString(value);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

std::string toStored(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text.toStdString();
}

} // namespace

DBMemo::DBMemo(QWidget *parent) : DataBoundControl(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(true);
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] {
        if (TDbfField *field = m_link.field())
            field->setAsString(toStored(toPlainText()));
    };
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_showing)
            m_link.modified();
    });
}

void DBMemo::showField()
{
    TDbfField *field = m_link.field();
    const QString value = field ? fromStored(field->asString()) : QString();
    setEnabled(!m_link.missingField());
    // Entering edit state at our own request re-reads the record; the caret stays where it was.
    if (m_link.requesting() && value == toPlainText())
        return;
    m_showing = true;
    setPlainText(value);
    m_showing = false;
}

void DBMemo::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    TDbfField *field = m_link.field();
    if (field && !field->canEncode(source->text().toStdString())) {
        QApplication::beep();
        return;
    }
    if (beginEdit())
        QPlainTextEdit::insertFromMimeData(source);
}

void DBMemo::cutToClipboard()
{
    if (textCursor().hasSelection() && beginEdit())
        cut();
}

void DBMemo::pasteFromClipboard()
{
    paste(); // through insertFromMimeData, which asks to begin editing
}
