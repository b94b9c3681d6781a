// The formatting commands and the two bars that show them (`ToolBar2` on the to-do page,
// `ToolBar4` on the information page).
//
// FormatActions holds one QAction per formatting command (bold, italic, underline, the three
// alignments, bullets, font), shared by both bars. Like the window's other handlers they act on
// the editor of the active page mode, never on the button that was clicked, and do nothing
// while the toolbar sync guard is set (except the font command). Whenever the selection of the
// active editor changes, or the page mode changes, the checkable commands are set from the
// format at the selection under the guard. Each bar also has its own three clipboard actions
// (`EditCut1`... on `ToolBar2`, `EditCut2`... on `ToolBar4`) acting on the focused text field.
//
//     PageMode mode;
//     FormatActions format(mode);
//     format.setEditor(PageMode::TodoEditor, editor1);
//     auto *bar = new FormatBar(1, format, page);   // ToolBar2
#pragma once

#include <QAction>
#include <QIcon>
#include <QPointer>
#include <QToolBar>

#include <array>
#include <functional>
#include <optional>

class PageMode;
class QToolButton;
class TRxCustomRichEdit;
class TRxTextAttributes;

class FormatActions : public QObject
{
    Q_OBJECT
public:
    explicit FormatActions(PageMode &mode, QObject *parent = nullptr);

    // The editor the commands act on while the page mode is `mode` (0 or 1); its selection
    // changes keep the commands' checked states in step.
    void setEditor(int mode, TRxCustomRichEdit *editor);
    PageMode &pageMode() const { return m_mode; }

    // The commands, shared by both bars.
    QAction *Bold() const { return m_bold; }
    QAction *Italic() const { return m_italic; }
    QAction *Underline() const { return m_underline; }
    QAction *AlignLeft() const { return m_alignLeft; }     // Tag 0
    QAction *AlignCenter() const { return m_alignCenter; } // Tag 2
    QAction *AlignRight() const { return m_alignRight; }   // Tag 1
    QAction *Bullets() const { return m_bullets; }
    QAction *Font() const { return m_font; }

    // Handlers.
    void BoldButton1Click();
    void italicbutton1Click();
    void UnderlineButton1Click();
    void BulletsButtonClick();
    // The alignment comes from the low byte of the sender's Tag: 0 left, 1 right, 2 centre.
    void AlignButtonClick(QObject *sender);
    void ToolButtonFontClick();
    // Sets the checkable commands from the active editor; the editor that asked is not looked at.
    void editor1SelectionChange(QObject *sender);
    // Both editors' link handler: opens a non-empty link text through the desktop.
    void editor1URLClick(QObject *sender, const QString &URLText, Qt::MouseButton button);

    // What opens a link; tests replace it so that no browser starts.
    using UrlOpener = std::function<void(const QString &link)>;
    void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }

    // The font dialog; tests replace it. It gets the starting font and returns the chosen font,
    // or nothing when the user cancelled.
    using FontChooser = std::function<std::optional<QFont>(const QFont &initial, QWidget *parent)>;
    void setFontChooser(FontChooser chooser) { m_fontChooser = std::move(chooser); }

private:
    QAction *makeAction(const char *name, const char *text, int image, bool checkable);
    bool guarded() const;
    TRxCustomRichEdit *editor() const;
    TRxTextAttributes *formatTarget() const;
    void toggleStyle(int style, QAction *command);

    PageMode &m_mode;
    QAction *m_bold = nullptr;
    QAction *m_italic = nullptr;
    QAction *m_underline = nullptr;
    QAction *m_alignLeft = nullptr;
    QAction *m_alignCenter = nullptr;
    QAction *m_alignRight = nullptr;
    QAction *m_bullets = nullptr;
    QAction *m_font = nullptr;
    std::array<QPointer<TRxCustomRichEdit>, 2> m_editors;
    FontChooser m_fontChooser;
    UrlOpener m_urlOpener;
};

class FormatBar : public QToolBar
{
    Q_OBJECT
public:
    // number 1 builds `ToolBar2` (buttons and clipboard actions named "...1", no font button,
    // 457 x 23); number 2 builds `ToolBar4` ("...2" names, with `ToolButtonFont`, 321 x 23).
    FormatBar(int number, FormatActions &commands, QWidget *parent = nullptr);

    int number() const { return m_number; }

    QToolButton *BoldButton() const { return m_boldButton; }
    QToolButton *ItalicButton() const { return m_italicButton; }
    QToolButton *UnderlineButton() const { return m_underlineButton; }
    QToolButton *ToolButtonFont() const { return m_fontButton; } // bar 2 only
    QToolButton *AlignLeftButton() const { return m_alignLeftButton; }
    QToolButton *AlignCenterButton() const { return m_alignCenterButton; }
    QToolButton *AlignRightButton() const { return m_alignRightButton; }
    QToolButton *BulletButton() const { return m_bulletButton; }

    QAction *EditCut() const { return m_editCut; }     // EditCut1 / EditCut2
    QAction *EditCopy() const { return m_editCopy; }   // EditCopy1 / EditCopy2
    QAction *EditPaste() const { return m_editPaste; } // EditPaste1 / EditPaste2

    // Sets the clipboard actions' enabled state from the focused text field and the clipboard.
    void updateClipboardActions();

    // Image `index` of the shared image list (4 to 6 and 12 to 19), a null icon otherwise.
    static QIcon image(int index);

private:
    QToolButton *addButton(const char *name, QAction *action, const char *hint);
    QAction *addClipboardAction(const char *name, const char *caption, const char *hint,
                                QKeySequence shortcut, int image);
    void setupClipboardActions();
    void setupButtons(FormatActions &commands);

    int m_number;
    QToolButton *m_boldButton = nullptr;
    QToolButton *m_italicButton = nullptr;
    QToolButton *m_underlineButton = nullptr;
    QToolButton *m_fontButton = nullptr;
    QToolButton *m_alignLeftButton = nullptr;
    QToolButton *m_alignCenterButton = nullptr;
    QToolButton *m_alignRightButton = nullptr;
    QToolButton *m_bulletButton = nullptr;
    QAction *m_editCut = nullptr;
    QAction *m_editCopy = nullptr;
    QAction *m_editPaste = nullptr;
};
