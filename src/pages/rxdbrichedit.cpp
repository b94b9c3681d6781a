#include "rxdbrichedit.h"

#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>

#include <stdexcept>

TRxDBRichEdit::TRxDBRichEdit(QWidget *parent) : DataBoundControl(parent)
{
    setReadOnly(true);
    m_link.onDataChange = [this] { dataChange(); };
    m_link.onEditingChange = [this] { applyReadOnly(); };
    m_link.onUpdateData = [this] { updateData(); };
    connect(document(), &QTextDocument::contentsChanged, this, &TRxDBRichEdit::textChanged);
}

void TRxDBRichEdit::dataChange()
{
    TDbfField *field = m_link.field();
    if (!field) {
        m_loading = true;
        clear();
        m_loading = false;
        m_memoLoaded = false;
        showPartialNotice(false);
        applyReadOnly();
        return;
    }
    // The table entered edit state at the editor's own request and the field is unchanged:
    // keep the caret, the selection and the content.
    if (m_stateChanging && !m_fieldSnapshot.empty() && m_fieldSnapshot == field->memoBytes())
        return;
    m_memoLoaded = false;
    loadMemo();
}

void TRxDBRichEdit::loadMemo()
{
    TDbfField *field = m_link.field();
    if (m_memoLoaded || !field)
        return;
    m_loading = true;
    bool whole = true;
    try {
        const std::string bytes = field->memoBytes(&whole);
        loadDocument(QByteArray::fromStdString(bytes), TDbf::ansiCodePage());
        m_memoLoaded = true;
    } catch (const std::exception &) {
        setPlainText(QStringLiteral("(%1)").arg(QString::fromUtf8(LoadErrorText)));
    }
    showPartialNotice(!whole);
    m_loading = false;
    applyReadOnly();
}

// Above the text rather than in it, so that it is never saved with the note; the text moves down
// to make room, so that none of it is hidden.
void TRxDBRichEdit::showPartialNotice(bool shown)
{
    if (!shown) {
        if (m_partialNotice && m_partialNotice->isVisible()) {
            m_partialNotice->hide();
            setViewportMargins(SelectionBarWidth, 0, 0, 0);
        }
        return;
    }
    if (!m_partialNotice) {
        m_partialNotice = new QLabel(QString::fromUtf8(PartialMemoText), this);
        m_partialNotice->setObjectName(QStringLiteral("PartialMemoNotice"));
        m_partialNotice->setWordWrap(true);
        m_partialNotice->setStyleSheet(
            QStringLiteral("QLabel { background: #fff3c4; color: #8a1c1c; padding: 3px; }"));
    }
    m_partialNotice->show();
    placePartialNotice();
}

void TRxDBRichEdit::placePartialNotice()
{
    const QRect inside = contentsRect();
    const int height = m_partialNotice->heightForWidth(inside.width());
    m_partialNotice->setGeometry(inside.left(), inside.top(), inside.width(), height);
    setViewportMargins(SelectionBarWidth, height, 0, 0);
}

void TRxDBRichEdit::resizeEvent(QResizeEvent *event)
{
    TRxCustomRichEdit::resizeEvent(event);
    if (m_partialNotice && m_partialNotice->isVisible())
        placePartialNotice();
}

void TRxDBRichEdit::updateData()
{
    TDbfField *field = m_link.field();
    if (!field)
        return;
    QByteArray bytes;
    try {
        bytes = saveDocument(TDbf::ansiCodePage());
    } catch (const std::exception &) {
        throw std::runtime_error(SaveErrorText);
    }
    if (bytes.size() > m_maxMemoBytes) {
        const QLocale french(QLocale::French);
        throw std::runtime_error(QStringLiteral("La note est trop volumineuse pour être enregistrée : %1 octets, "
                                                "un mémo en contient au plus %2. Retirez ou réduisez une image.")
                                     .arg(french.toString(qlonglong(bytes.size())), french.toString(qlonglong(m_maxMemoBytes)))
                                     .toStdString());
    }
    field->setMemoBytes(bytes.toStdString());
}

void TRxDBRichEdit::applyReadOnly()
{
    const bool readOnly = !(m_link.editing() && m_memoLoaded);
    if (readOnly != isReadOnly())
        setReadOnly(readOnly);
    // Read-only still lets the caret move and the text be selected from the keyboard, from the
    // first note shown on.
    if (readOnly)
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TRxDBRichEdit::textChanged()
{
    if (m_loading)
        return;
    if (m_memoLoaded)
        m_link.modified();
    m_memoLoaded = true;
}

bool TRxDBRichEdit::editCanModify()
{
    m_stateChanging = true;
    try {
        bool result = m_link.editing();
        if (!result && m_link.field()) {
            m_fieldSnapshot = m_link.field()->memoBytes();
            m_link.edit();
            m_fieldSnapshot.clear();
            result = m_link.editing();
        }
        m_stateChanging = false;
        return result;
    } catch (...) {
        m_fieldSnapshot.clear();
        m_stateChanging = false;
        throw;
    }
}

bool TRxDBRichEdit::beginFormatChange()
{
    if (!m_link.dataSource())
        return true;
    if (m_memoLoaded && !m_loading && editCanModify()) {
        m_link.modified();
        return true;
    }
    QApplication::beep();
    return false;
}

bool TRxDBRichEdit::beginTextChange()
{
    if (!m_link.dataSource())
        return true;
    return m_memoLoaded && editCanModify();
}

bool TRxDBRichEdit::handleKeyWhileNotLoaded(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        loadMemo();
    event->accept(); // every key is swallowed until the memo is loaded
    return true;
}

void TRxDBRichEdit::keyPressEvent(QKeyEvent *event)
{
    if (!m_link.dataSource()) {
        TRxCustomRichEdit::keyPressEvent(event);
        return;
    }
    if (!m_memoLoaded) {
        handleKeyWhileNotLoaded(event);
        return;
    }
    const int key = event->key();
    const QString typed = event->text();
    const bool editingKey = key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Clear ||
                            event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
                            (key == Qt::Key_Insert && event->modifiers() == Qt::ShiftModifier);
    const QChar ch = typed.isEmpty() ? QChar() : typed.at(0);
    const bool character = !typed.isEmpty() && !(event->modifiers() & Qt::ControlModifier) &&
                           (ch.isPrint() || ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'));
    if (character && ch.isPrint()) {
        // A memo holds the document as 7-bit RTF, so it takes every character; only a plain
        // field bound here would refuse what its table's code page cannot hold.
        TDbfField *field = m_link.field();
        if (field && !field->isBlob() && !field->canEncode(typed.toStdString())) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    if ((editingKey || character) && !editCanModify()) {
        event->accept();
        return;
    }
    TRxCustomRichEdit::keyPressEvent(event);
}

void TRxDBRichEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_link.dataSource() && !m_memoLoaded) {
        loadMemo();
        return;
    }
    TRxCustomRichEdit::mouseDoubleClickEvent(event);
}

// A browsing note is read-only, yet a picture dropped on it is an edit like a keystroke: the drop
// is taken, and the table asked to edit only when it lands.
bool TRxDBRichEdit::dropWaitsForEditing(const QDropEvent *event) const
{
    return m_link.dataSource() && m_memoLoaded && isReadOnly() && canInsertFromMimeData(event->mimeData());
}

void TRxDBRichEdit::dragEnterEvent(QDragEnterEvent *event)
{
    if (dropWaitsForEditing(event))
        event->acceptProposedAction();
    else
        TRxCustomRichEdit::dragEnterEvent(event);
}

void TRxDBRichEdit::dragMoveEvent(QDragMoveEvent *event)
{
    if (dropWaitsForEditing(event))
        event->acceptProposedAction();
    else
        TRxCustomRichEdit::dragMoveEvent(event);
}

void TRxDBRichEdit::dropEvent(QDropEvent *event)
{
    if (dropWaitsForEditing(event) && !editCanModify()) {
        event->ignore();
        return;
    }
    TRxCustomRichEdit::dropEvent(event);
}

void TRxDBRichEdit::focusOutEvent(QFocusEvent *event)
{
    TRxCustomRichEdit::focusOutEvent(event);
    try {
        m_link.updateRecord();
    } catch (...) {
        setFocus();
        throw;
    }
}
