// The formatting bars (`ToolBar2` on the to-do page, `ToolBar4` on the information page) and
// the handlers they share.
//
// A FormatBar holds the buttons of one bar and its three clipboard actions. The handlers live in
// FormatHandlers, one object for both bars: like the main window's handlers they look at the
// active page mode, never at the button that was clicked, and do nothing while the toolbar sync
// guard is set (except the font button). The main window owns the mode and the guard; it hands
// their addresses over in a FormatTarget:
//
//     FormatTarget target{&activePageMode, &toolbarSyncGuard, editor1, editor2, ToolBar2, ToolBar4};
//     FormatHandlers handlers(target, this);
//     // both editors' selection changes now keep the buttons of the active page in step
#pragma once

#include <QAction>
#include <QIcon>
#include <QToolBar>

#include <functional>
#include <optional>

class QToolButton;
class TRxCustomRichEdit;
class TRxTextAttributes;

class FormatBar : public QToolBar
{
    Q_OBJECT
public:
    // number 1 builds `ToolBar2` (buttons and actions named "...1", no font button, 457 x 23);
    // number 2 builds `ToolBar4` ("...2" names, with `ToolButtonFont`, 321 x 23).
    FormatBar(int number, QWidget *parent = nullptr);

    int number() const { return m_number; }

    QToolButton *ToolButtonCut = nullptr;   // ToolButton10 / ToolButton36
    QToolButton *ToolButtonCopy = nullptr;  // ToolButton9 / ToolButton38
    QToolButton *ToolButtonPaste = nullptr; // ToolButton11 / ToolButton39
    QToolButton *BoldButton = nullptr;
    QToolButton *ItalicButton = nullptr;
    QToolButton *UnderlineButton = nullptr;
    QToolButton *ToolButtonFont = nullptr; // bar 2 only
    QToolButton *AlignLeftButton = nullptr;
    QToolButton *AlignCenterButton = nullptr;
    QToolButton *AlignRightButton = nullptr;
    QToolButton *BulletButton = nullptr;

    QAction *EditCut = nullptr;   // EditCut1 / EditCut2
    QAction *EditCopy = nullptr;  // EditCopy1 / EditCopy2
    QAction *EditPaste = nullptr; // EditPaste1 / EditPaste2

    // Sets the clipboard actions' enabled state from the focused text field and the clipboard.
    void updateClipboardActions();

    // Image `index` of the shared image list (4 to 6 and 12 to 19), a null icon otherwise.
    static QIcon image(int index);

private:
    QToolButton *addButton(const char *name, const char *hint, int image, bool checkable);
    QAction *addClipboardAction(const char *name, const char *caption, const char *hint,
                                QKeySequence shortcut, int image);
    void setupClipboardActions();
    void setupButtons();

    int m_number;
};

struct FormatTarget
{
    int *activePageMode = nullptr;     // 0 to-do page, 1 information page
    bool *toolbarSyncGuard = nullptr;  // set while the buttons follow the selection
    TRxCustomRichEdit *editor1 = nullptr;
    TRxCustomRichEdit *editor2 = nullptr;
    FormatBar *bar1 = nullptr;         // ToolBar2
    FormatBar *bar2 = nullptr;         // ToolBar4
};

class FormatHandlers : public QObject
{
    Q_OBJECT
public:
    // Connects the bars' buttons and both editors' selection changes to the handlers.
    FormatHandlers(const FormatTarget &target, QObject *parent = nullptr);

    void BoldButton1Click();
    void italicbutton1Click();
    void UnderlineButton1Click();
    void BulletsButtonClick();
    void AlignButtonClick(QObject *sender);
    void ToolButtonFontClick();
    void editor1SelectionChange(QObject *sender);
    // Both editors' link handler: opens a non-empty link text through the desktop, whichever
    // button clicked it.
    void editor1URLClick(QObject *sender, const QString &URLText, Qt::MouseButton button);

    // What opens a link; tests replace it so that no browser starts.
    using UrlOpener = std::function<void(const QString &link)>;
    void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }

    // The font dialog; tests replace it. It gets the starting font and colour and returns the
    // chosen font, or nothing when the user cancelled.
    using FontChooser = std::function<std::optional<QFont>(const QFont &initial, QWidget *parent)>;
    void setFontChooser(FontChooser chooser) { m_fontChooser = std::move(chooser); }

private:
    bool guarded() const { return m_target.toolbarSyncGuard && *m_target.toolbarSyncGuard; }
    int mode() const { return m_target.activePageMode ? *m_target.activePageMode : 0; }
    TRxCustomRichEdit *editor() const;
    FormatBar *bar() const;
    TRxTextAttributes *formatTarget() const;
    void toggleStyle(int style, QToolButton *FormatBar::*button);

    FormatTarget m_target;
    FontChooser m_fontChooser;
    UrlOpener m_urlOpener;
};
