#include "formatbar.h"

#include "actionbutton.h"
#include "dblineedit.h"
#include "dbmemo.h"
#include "linkopener.h"
#include "pagemode.h"
#include "rxrichedit.h"

#include <QApplication>
#include <QActionGroup>
#include <QClipboard>
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

// Runs `op` on `widget` when it is a `Field`; false when it is not.
template <class Field, class Op>
bool on(QWidget *widget, Op Field::*op)
{
    auto *field = qobject_cast<Field *>(widget);
    if (field)
        (field->*op)();
    return field;
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

// The clipboard operations on whichever text field has the focus; the bound controls first ask
// their table to begin editing.
void cutFocused()
{
    QWidget *focused = QApplication::focusWidget();
    on(focused, &TRxCustomRichEdit::cutToClipboard) || on(focused, &DBLineEdit::cutToClipboard) ||
        on(focused, &DBMemo::cutToClipboard) || on(focused, &QLineEdit::cut) ||
        on(focused, &QTextEdit::cut) || on(focused, &QPlainTextEdit::cut);
}

void copyFocused()
{
    QWidget *focused = QApplication::focusWidget();
    on(focused, &QLineEdit::copy) || on(focused, &QTextEdit::copy) || on(focused, &QPlainTextEdit::copy);
}

void pasteFocused()
{
    QWidget *focused = QApplication::focusWidget();
    on(focused, &TRxCustomRichEdit::pasteFromClipboard) || on(focused, &DBLineEdit::pasteFromClipboard) ||
        on(focused, &QLineEdit::paste) || on(focused, &QTextEdit::paste) || on(focused, &QPlainTextEdit::paste);
}

} // namespace

// ---- FormatBar -------------------------------------------------------------------------------------

FormatBar::FormatBar(int number, FormatActions &commands, QWidget *parent)
    : QToolBar(parent), m_number(number == 2 ? 2 : 1)
{
    setObjectName(m_number == 1 ? QStringLiteral("ToolBar2") : QStringLiteral("ToolBar4"));
    setFixedSize(m_number == 1 ? QSize(457, 23) : QSize(321, 23));
    setIconSize(QSize(16, 16));
    setMovable(false);
    setFloatable(false);
    setContentsMargins(0, 0, 0, 0);
    setAttribute(Qt::WA_TranslucentBackground);
    // A style sheet hands its widgets the desktop's palette, whose checked face and separator may
    // be dark beside our dark icons: both are the page's own.
    setStyleSheet(QStringLiteral("QToolBar { border: none; background: transparent; spacing: 0px; }"
                                 "QToolButton:checked { background: #e4dcc4; border: 1px solid #a0926a;"
                                 " border-radius: 2px; }"
                                 "QToolBar::separator { background: #c4bca4; width: 1px; margin: 4px 3px 4px 2px; }"));
    setupClipboardActions();
    setupButtons(commands);
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
    m_editCut = addClipboardAction("EditCut", "&Couper", "Couper", QKeySequence(Qt::CTRL | Qt::Key_X), 5);
    m_editCopy = addClipboardAction("EditCopy", "Copi&er", "Copier", QKeySequence(Qt::CTRL | Qt::Key_C), 4);
    m_editPaste = addClipboardAction("EditPaste", "C&oller", "Coller", QKeySequence(Qt::CTRL | Qt::Key_V), 6);
    connect(m_editCut, &QAction::triggered, this, [] { cutFocused(); });
    connect(m_editCopy, &QAction::triggered, this, [] { copyFocused(); });
    connect(m_editPaste, &QAction::triggered, this, [] { pasteFocused(); });

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
    const bool selection = hasSelection(focused);
    m_editCut->setEnabled(selection);
    m_editCopy->setEnabled(selection);
    const QMimeData *data = QApplication::clipboard()->mimeData();
    m_editPaste->setEnabled(data && data->hasText());
}

QToolButton *FormatBar::addButton(const char *name, QAction *action, const char *hint)
{
    // Every button has a hint of its own, which language files replace by button name; a
    // button without one shows none rather than its command's.
    QToolButton *button = makeActionButton(this, name, action, QString::fromUtf8(hint ? hint : ""));
    addWidget(button);
    return button;
}

void FormatBar::setupButtons(FormatActions &commands)
{
    const bool first = m_number == 1;
    addButton(first ? "ToolButton10" : "ToolButton36", m_editCut, "Couper");
    addButton(first ? "ToolButton9" : "ToolButton38", m_editCopy, "Copier");
    addButton(first ? "ToolButton11" : "ToolButton39", m_editPaste, "Coller");
    addSeparator();
    m_boldButton = addButton(first ? "BoldButton1" : "BoldButton2", commands.Bold(), "gras");
    m_italicButton = addButton(first ? "italicbutton1" : "ItalicButton2", commands.Italic(), "italic");
    m_underlineButton =
        addButton(first ? "UnderlineButton1" : "UnderlineButton2", commands.Underline(), "souligner");
    addSeparator();
    if (!first) {
        m_fontButton = addButton("ToolButtonFont", commands.Font(), "police de caractères");
        addSeparator();
    }
    m_alignLeftButton = addButton(first ? "AlignLeftButton1" : "AlignLeftButton2",
                                  commands.AlignLeft(), "aligner à gauche");
    m_alignCenterButton = addButton(first ? "AlignCenterButton1" : "AlignCenterButton2",
                                    commands.AlignCenter(), first ? nullptr : "aligner au centre");
    m_alignRightButton = addButton(first ? "AlignRightButton1" : "AlignRightButton2",
                                   commands.AlignRight(), "aligner à droite");
    m_alignLeftButton->setProperty("Tag", 0);
    m_alignCenterButton->setProperty("Tag", 2);
    m_alignRightButton->setProperty("Tag", 1);
    addSeparator();
    m_bulletButton =
        addButton(first ? "BulletButton1" : "BulletButton2", commands.Bullets(), first ? "liste" : "list");
}

// ---- FormatActions ---------------------------------------------------------------------------------

FormatActions::FormatActions(PageMode &mode, QObject *parent) : QObject(parent), m_mode(mode)
{
    setObjectName(QStringLiteral("FormatActions"));
    m_bold = makeAction("FormatBold", "gras", 12, true);
    m_italic = makeAction("FormatItalic", "italic", 13, true);
    m_underline = makeAction("FormatUnderline", "souligner", 14, true);
    m_alignLeft = makeAction("FormatAlignLeft", "aligner à gauche", 16, true);
    m_alignCenter = makeAction("FormatAlignCenter", "aligner au centre", 17, true);
    m_alignRight = makeAction("FormatAlignRight", "aligner à droite", 18, true);
    m_bullets = makeAction("FormatBullets", "liste", 15, true);
    m_font = makeAction("FormatFont", "police de caractères", 19, false);
    m_bold->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    m_italic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    m_underline->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    // The keys belong to the editors: Ctrl+U in a title field keeps its own meaning.
    for (QAction *style : {m_bold, m_italic, m_underline})
        style->setShortcutContext(Qt::WidgetShortcut);
    m_alignLeft->setProperty("Tag", 0);
    m_alignCenter->setProperty("Tag", 2);
    m_alignRight->setProperty("Tag", 1);
    // Exactly one alignment is checked once one was chosen; choosing the checked one keeps it.
    auto *alignments = new QActionGroup(this);
    for (QAction *align : {m_alignLeft, m_alignCenter, m_alignRight}) {
        alignments->addAction(align);
        connect(align, &QAction::triggered, this, [this, align] { AlignButtonClick(align); });
    }
    connect(m_bold, &QAction::triggered, this, &FormatActions::BoldButton1Click);
    connect(m_italic, &QAction::triggered, this, &FormatActions::italicbutton1Click);
    connect(m_underline, &QAction::triggered, this, &FormatActions::UnderlineButton1Click);
    connect(m_bullets, &QAction::triggered, this, &FormatActions::BulletsButtonClick);
    connect(m_font, &QAction::triggered, this, &FormatActions::ToolButtonFontClick);
    // A new page shows its own editor's format.
    connect(&m_mode, &PageMode::modeChanged, this, [this] { editor1SelectionChange(nullptr); });

    m_fontChooser = [](const QFont &initial, QWidget *dialogParent) -> std::optional<QFont> {
        QFontDialog dialog(initial, dialogParent);
        dialog.setObjectName(QStringLiteral("FontDialog1"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.selectedFont();
    };
    // A link no program can open says so, on the note it was clicked in.
    m_urlOpener = [this](const QString &link) { openLink(link, editor()); };
}

QAction *FormatActions::makeAction(const char *name, const char *text, int image, bool checkable)
{
    auto *action = new QAction(FormatBar::image(image), QString::fromUtf8(text), this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(QString::fromUtf8(text));
    action->setCheckable(checkable);
    return action;
}

void FormatActions::setEditor(int mode, TRxCustomRichEdit *editor)
{
    if (mode < 0 || mode >= int(m_editors.size()) || !editor)
        return;
    m_editors[size_t(mode)] = editor;
    editor->addActions({m_bold, m_italic, m_underline});
    connect(editor, &TRxCustomRichEdit::selectionChange, this, &FormatActions::editor1SelectionChange);
    connect(editor, &TRxCustomRichEdit::urlClick, this, &FormatActions::editor1URLClick);
}

bool FormatActions::guarded() const
{
    return m_mode.syncGuard();
}

void FormatActions::editor1URLClick(QObject *, const QString &URLText, Qt::MouseButton)
{
    if (!URLText.isEmpty() && m_urlOpener)
        m_urlOpener(URLText);
}

TRxCustomRichEdit *FormatActions::editor() const
{
    return m_mode.mode() == PageMode::InfosEditor ? m_editors[1].data() : m_editors[0].data();
}

// With a selection the selection's format, without one the editor's default format.
TRxTextAttributes *FormatActions::formatTarget() const
{
    TRxCustomRichEdit *target = editor();
    if (!target)
        return nullptr;
    return target->selLength() > 0 ? &target->SelAttributes() : &target->DefAttributes();
}

void FormatActions::toggleStyle(int style, QAction *command)
{
    TRxTextAttributes *target = formatTarget();
    if (guarded() || !target)
        return;
    TFontStyles styles = target->style();
    if (command->isChecked())
        styles |= style;
    else
        styles &= ~style;
    // All four effects are written at once: over mixed text the others become uniform too.
    target->setStyle(styles);
}

void FormatActions::BoldButton1Click()
{
    toggleStyle(fsBold, m_bold);
}

void FormatActions::italicbutton1Click()
{
    toggleStyle(fsItalic, m_italic);
}

void FormatActions::UnderlineButton1Click()
{
    toggleStyle(fsUnderline, m_underline);
}

void FormatActions::BulletsButtonClick()
{
    if (guarded() || !editor())
        return;
    editor()->Paragraph().setNumbering(m_bullets->isChecked() ? 1 : 0);
}

void FormatActions::AlignButtonClick(QObject *sender)
{
    if (guarded() || !editor() || !sender)
        return;
    editor()->Paragraph().setAlignment(sender->property("Tag").toInt() & 0xFF);
}

void FormatActions::ToolButtonFontClick()
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

void FormatActions::editor1SelectionChange(QObject *)
{
    TRxCustomRichEdit *target = editor();
    if (!target)
        return;
    SyncGuard guard(m_mode);
    m_bold->setChecked(target->SelAttributes().style() & fsBold);
    m_italic->setChecked(target->SelAttributes().style() & fsItalic);
    m_underline->setChecked(target->SelAttributes().style() & fsUnderline);
    m_bullets->setChecked(target->Paragraph().numbering() != 0);
    switch (target->Paragraph().alignment()) {
    case 0:
        m_alignLeft->setChecked(true);
        break;
    case 1:
        m_alignRight->setChecked(true);
        break;
    case 2:
        m_alignCenter->setChecked(true);
        break;
    default:
        break; // justified shows no alignment of its own
    }
}
