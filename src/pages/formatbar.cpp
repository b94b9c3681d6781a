#include "formatbar.h"

#include "dblineedit.h"
#include "rxrichedit.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDesktopServices>
#include <QUrl>
#include <QFontDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolButton>

namespace {

struct Image
{
    int index;
    const char *file;
};

// The formatting pictures of the shared image list, by image number.
constexpr Image Images[] = {{4, "fmt-copy"},         {5, "fmt-cut"},           {6, "fmt-paste"},
                            {12, "fmt-bold"},        {13, "fmt-italic"},       {14, "fmt-underline"},
                            {15, "fmt-bullets"},     {16, "fmt-align-left"},   {17, "fmt-align-center"},
                            {18, "fmt-align-right"}, {19, "fmt-font"}};

QString suffixed(const char *base, int number)
{
    return QLatin1String(base) + QString::number(number);
}

bool hasSelection(QWidget *widget)
{
    if (auto *line = qobject_cast<QLineEdit *>(widget))
        return line->hasSelectedText();
    if (auto *text = qobject_cast<QTextEdit *>(widget))
        return text->textCursor().hasSelection();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(widget))
        return plain->textCursor().hasSelection();
    return false;
}

bool isTextField(QWidget *widget)
{
    return qobject_cast<QLineEdit *>(widget) || qobject_cast<QTextEdit *>(widget) ||
           qobject_cast<QPlainTextEdit *>(widget);
}

// The clipboard operations on whichever text field has the focus; the bound controls first ask
// their table to begin editing.
void cutFocused()
{
    QWidget *focused = QApplication::focusWidget();
    if (auto *rich = qobject_cast<TRxCustomRichEdit *>(focused))
        rich->cutToClipboard();
    else if (auto *bound = qobject_cast<DBLineEdit *>(focused))
        bound->cutToClipboard();
    else if (auto *line = qobject_cast<QLineEdit *>(focused))
        line->cut();
    else if (auto *text = qobject_cast<QTextEdit *>(focused))
        text->cut();
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(focused))
        plain->cut();
}

void copyFocused()
{
    QWidget *focused = QApplication::focusWidget();
    if (auto *line = qobject_cast<QLineEdit *>(focused))
        line->copy();
    else if (auto *text = qobject_cast<QTextEdit *>(focused))
        text->copy();
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(focused))
        plain->copy();
}

void pasteFocused()
{
    QWidget *focused = QApplication::focusWidget();
    if (auto *rich = qobject_cast<TRxCustomRichEdit *>(focused))
        rich->pasteFromClipboard();
    else if (auto *bound = qobject_cast<DBLineEdit *>(focused))
        bound->pasteFromClipboard();
    else if (auto *line = qobject_cast<QLineEdit *>(focused))
        line->paste();
    else if (auto *text = qobject_cast<QTextEdit *>(focused))
        text->paste();
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(focused))
        plain->paste();
}

} // namespace

// ---- FormatBar -------------------------------------------------------------------------------------

FormatBar::FormatBar(int number, QWidget *parent) : QToolBar(parent), m_number(number == 2 ? 2 : 1)
{
    setObjectName(m_number == 1 ? QStringLiteral("ToolBar2") : QStringLiteral("ToolBar4"));
    setFixedSize(m_number == 1 ? QSize(457, 23) : QSize(321, 23));
    setIconSize(QSize(16, 16));
    setMovable(false);
    setFloatable(false);
    setContentsMargins(0, 0, 0, 0);
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(QStringLiteral("QToolBar { border: none; background: transparent; spacing: 0px; }"));
    setupClipboardActions();
    setupButtons();
    updateClipboardActions();
}

QIcon FormatBar::image(int index)
{
    for (const Image &image : Images)
        if (image.index == index)
            return QIcon(QStringLiteral(":/art/%1.svg").arg(QLatin1String(image.file)));
    return {};
}

QAction *FormatBar::addClipboardAction(const char *name, const char *caption, const char *hint,
                                       QKeySequence shortcut, int image)
{
    auto *action = new QAction(FormatBar::image(image), QString::fromUtf8(caption), this);
    action->setObjectName(suffixed(name, m_number));
    action->setToolTip(QString::fromUtf8(hint));
    action->setStatusTip(QString::fromUtf8(hint));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setProperty("Category", QStringLiteral("Edition"));
    return action;
}

void FormatBar::setupClipboardActions()
{
    EditCut = addClipboardAction("EditCut", "&Couper", "Couper", QKeySequence(Qt::CTRL | Qt::Key_X), 5);
    EditCopy = addClipboardAction("EditCopy", "Copi&er", "Copier", QKeySequence(Qt::CTRL | Qt::Key_C), 4);
    EditPaste = addClipboardAction("EditPaste", "C&oller", "Coller", QKeySequence(Qt::CTRL | Qt::Key_V), 6);
    connect(EditCut, &QAction::triggered, this, [] { cutFocused(); });
    connect(EditCopy, &QAction::triggered, this, [] { copyFocused(); });
    connect(EditPaste, &QAction::triggered, this, [] { pasteFocused(); });

    // Enabled states follow the focus, the focused field's selection and the clipboard.
    auto *app = qApp;
    connect(app, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (auto *line = qobject_cast<QLineEdit *>(now))
            connect(line, &QLineEdit::selectionChanged, this, &FormatBar::updateClipboardActions, Qt::UniqueConnection);
        else if (auto *text = qobject_cast<QTextEdit *>(now))
            connect(text, &QTextEdit::selectionChanged, this, &FormatBar::updateClipboardActions, Qt::UniqueConnection);
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(now))
            connect(plain, &QPlainTextEdit::selectionChanged, this, &FormatBar::updateClipboardActions,
                    Qt::UniqueConnection);
        updateClipboardActions();
    });
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &FormatBar::updateClipboardActions);
}

void FormatBar::updateClipboardActions()
{
    QWidget *focused = QApplication::focusWidget();
    const bool selection = isTextField(focused) && hasSelection(focused);
    EditCut->setEnabled(selection);
    EditCopy->setEnabled(selection);
    const QMimeData *data = QApplication::clipboard()->mimeData();
    EditPaste->setEnabled(data && data->hasText());
}

QToolButton *FormatBar::addButton(const char *name, const char *hint, int image, bool checkable)
{
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromUtf8(name));
    if (hint)
        button->setToolTip(QString::fromUtf8(hint));
    button->setIcon(FormatBar::image(image));
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    button->setFixedSize(23, 22);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    addWidget(button);
    return button;
}

void FormatBar::setupButtons()
{
    const bool first = m_number == 1;
    ToolButtonCut = addButton(first ? "ToolButton10" : "ToolButton36", nullptr, 5, false);
    ToolButtonCopy = addButton(first ? "ToolButton9" : "ToolButton38", nullptr, 4, false);
    ToolButtonPaste = addButton(first ? "ToolButton11" : "ToolButton39", nullptr, 6, false);
    ToolButtonCut->setDefaultAction(EditCut);
    ToolButtonCopy->setDefaultAction(EditCopy);
    ToolButtonPaste->setDefaultAction(EditPaste);
    addSeparator();
    BoldButton = addButton(first ? "BoldButton1" : "BoldButton2", "gras", 12, true);
    ItalicButton = addButton(first ? "italicbutton1" : "ItalicButton2", "italic", 13, true);
    UnderlineButton = addButton(first ? "UnderlineButton1" : "UnderlineButton2", "souligner", 14, true);
    addSeparator();
    if (!first) {
        ToolButtonFont = addButton("ToolButtonFont", "police de caractères", 19, false);
        addSeparator();
    }
    AlignLeftButton = addButton(first ? "AlignLeftButton1" : "AlignLeftButton2", "aligner à gauche", 16, true);
    AlignCenterButton =
        addButton(first ? "AlignCenterButton1" : "AlignCenterButton2", first ? nullptr : "aligner au centre", 17, true);
    AlignRightButton = addButton(first ? "AlignRightButton1" : "AlignRightButton2", "aligner à droite", 18, true);
    AlignLeftButton->setProperty("Tag", 0);
    AlignCenterButton->setProperty("Tag", 2);
    AlignRightButton->setProperty("Tag", 1);
    // Exactly one alignment is down once one was pressed; pressing the down one keeps it down.
    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(AlignLeftButton);
    group->addButton(AlignCenterButton);
    group->addButton(AlignRightButton);
    addSeparator();
    BulletButton = addButton(first ? "BulletButton1" : "BulletButton2", first ? "liste" : "list", 15, true);
}

// ---- FormatHandlers --------------------------------------------------------------------------------

FormatHandlers::FormatHandlers(const FormatTarget &target, QObject *parent) : QObject(parent), m_target(target)
{
    m_fontChooser = [](const QFont &initial, QWidget *dialogParent) -> std::optional<QFont> {
        QFontDialog dialog(initial, dialogParent);
        dialog.setObjectName(QStringLiteral("FontDialog1"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.selectedFont();
    };
    for (FormatBar *bar : {m_target.bar1, m_target.bar2}) {
        if (!bar)
            continue;
        connect(bar->BoldButton, &QToolButton::clicked, this, &FormatHandlers::BoldButton1Click);
        connect(bar->ItalicButton, &QToolButton::clicked, this, &FormatHandlers::italicbutton1Click);
        connect(bar->UnderlineButton, &QToolButton::clicked, this, &FormatHandlers::UnderlineButton1Click);
        connect(bar->BulletButton, &QToolButton::clicked, this, &FormatHandlers::BulletsButtonClick);
        for (QToolButton *align : {bar->AlignLeftButton, bar->AlignCenterButton, bar->AlignRightButton})
            connect(align, &QToolButton::clicked, this, [this, align] { AlignButtonClick(align); });
        if (bar->ToolButtonFont)
            connect(bar->ToolButtonFont, &QToolButton::clicked, this, &FormatHandlers::ToolButtonFontClick);
    }
    m_urlOpener = [](const QString &link) { QDesktopServices::openUrl(QUrl::fromUserInput(link)); };
    for (TRxCustomRichEdit *editor : {m_target.editor1, m_target.editor2}) {
        if (!editor)
            continue;
        connect(editor, &TRxCustomRichEdit::selectionChange, this, &FormatHandlers::editor1SelectionChange);
        connect(editor, &TRxCustomRichEdit::urlClick, this, &FormatHandlers::editor1URLClick);
    }
}

void FormatHandlers::editor1URLClick(QObject *, const QString &URLText, Qt::MouseButton)
{
    if (!URLText.isEmpty() && m_urlOpener)
        m_urlOpener(URLText);
}

TRxCustomRichEdit *FormatHandlers::editor() const
{
    return mode() == 1 ? m_target.editor2 : m_target.editor1;
}

FormatBar *FormatHandlers::bar() const
{
    return mode() == 1 ? m_target.bar2 : m_target.bar1;
}

// With a selection the selection's format, without one the editor's default format.
TRxTextAttributes *FormatHandlers::formatTarget() const
{
    TRxCustomRichEdit *target = editor();
    if (!target)
        return nullptr;
    return target->selLength() > 0 ? &target->SelAttributes() : &target->DefAttributes();
}

void FormatHandlers::toggleStyle(int style, QToolButton *FormatBar::*button)
{
    FormatBar *buttons = bar();
    TRxTextAttributes *target = formatTarget();
    if (guarded() || !buttons || !target)
        return;
    TFontStyles styles = target->style();
    if ((buttons->*button)->isChecked())
        styles |= style;
    else
        styles &= ~style;
    // All four effects are written at once: over mixed text the others become uniform too.
    target->setStyle(styles);
}

void FormatHandlers::BoldButton1Click()
{
    toggleStyle(fsBold, &FormatBar::BoldButton);
}

void FormatHandlers::italicbutton1Click()
{
    toggleStyle(fsItalic, &FormatBar::ItalicButton);
}

void FormatHandlers::UnderlineButton1Click()
{
    toggleStyle(fsUnderline, &FormatBar::UnderlineButton);
}

void FormatHandlers::BulletsButtonClick()
{
    if (guarded() || !editor() || !bar())
        return;
    editor()->Paragraph().setNumbering(bar()->BulletButton->isChecked() ? 1 : 0);
}

void FormatHandlers::AlignButtonClick(QObject *sender)
{
    if (guarded() || !editor() || !sender)
        return;
    editor()->Paragraph().setAlignment(sender->property("Tag").toInt() & 0xFF);
}

void FormatHandlers::ToolButtonFontClick()
{
    TRxCustomRichEdit *target = editor();
    if (!target)
        return;
    const QFont initial = target->SelAttributes().toFont();
    const std::optional<QFont> chosen = m_fontChooser(initial, target->window());
    if (chosen) {
        if (TRxTextAttributes *format = formatTarget())
            format->assignFromFont(*chosen);
    }
    target->setFocus();
}

void FormatHandlers::editor1SelectionChange(QObject *)
{
    TRxCustomRichEdit *target = editor();
    FormatBar *buttons = bar();
    if (!target || !buttons)
        return;
    bool localGuard = false;
    bool &guard = m_target.toolbarSyncGuard ? *m_target.toolbarSyncGuard : localGuard;
    guard = true;
    try {
        buttons->BoldButton->setChecked(target->SelAttributes().style() & fsBold);
        buttons->ItalicButton->setChecked(target->SelAttributes().style() & fsItalic);
        buttons->UnderlineButton->setChecked(target->SelAttributes().style() & fsUnderline);
        buttons->BulletButton->setChecked(target->Paragraph().numbering() != 0);
        switch (target->Paragraph().alignment()) {
        case 0:
            buttons->AlignLeftButton->setChecked(true);
            break;
        case 1:
            buttons->AlignRightButton->setChecked(true);
            break;
        case 2:
            buttons->AlignCenterButton->setChecked(true);
            break;
        default:
            break; // justified shows no alignment button of its own
        }
    } catch (...) {
        guard = false;
        throw;
    }
    guard = false;
}
