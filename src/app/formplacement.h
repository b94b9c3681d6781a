// Where the main window was and whether it was minimised, kept across runs in the section
// "place" of the settings file.
//
// The component watches its window: each time the window is shown by the program (not when the
// window system merely brings it back from the task bar) it restores, before the window's own
// show handler runs; each close request saves; the end of the program saves unless a close
// already did. Errors of the settings file go to the error box and never stop the show or close.
//
// Keys, in the order a save writes them (numbers in decimal):
//   FormVersion          the component's version, 0; a smaller stored value restores nothing
//   Flags                2 when the window would come back maximised from minimised, else 0
//   ShowCmd              1 normal, 2 minimised, 3 maximised
//   PixelsPerInch        the primary screen's logical dots per inch
//   MinMaxPos(WxH)       minimised x,y and maximised x,y, for the primary screen's W x H
//   MinMaxPos            the same, for any resolution without its own value
//   NormPos(WxH)         the normal rectangle left,top,right,bottom (right and bottom exclusive)
//   NormPos              the same
//   Visible              1 when saved at the program's end, 0 at a close
// The window keeps its size: only the stored top-left corner counts. It is applied only where
// the window system lets a program place its windows (X11), and only when the stored pixels per
// inch are the screen's; a position whose top strip would lie outside every screen (a monitor
// unplugged since) centres the window instead. The state is restored everywhere.
//
// Install it after any component that may swallow the close request (the tray icon), so that
// it sees the request first: hiding to the tray saves too.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

class IniFile;
class QWidget;

class TFormPlacement : public QObject
{
    Q_OBJECT
public:
    explicit TFormPlacement(QWidget *form);

    // The settings file's full path; nothing is read or written while it is empty.
    QString IniFileName() const { return m_iniFileName; }
    void setIniFileName(const QString &fileName) { m_iniFileName = fileName; }
    QString IniSection() const { return m_iniSection; }
    void setIniSection(const QString &section) { m_iniSection = section; }
    int Version() const { return m_version; }

    // Whether a stored position is applied; true on X11 only.
    void setRestoresPosition(bool on) { m_restoresPosition = on; }

    // Whether save() writes; off over a data folder opened read-only, where nothing is written.
    void setSavesPlacement(bool on) { m_savesPlacement = on; }

    // Reads the placement back onto the window (see above); restored() is true afterwards.
    void restore();
    // Writes the placement, once restored() is true. atEnd: the program is ending ("Visible").
    void save(bool atEnd);

    bool restored() const { return m_restored; }
    bool saved() const { return m_saved; }

    // "(1024x768)" for a screen of that size.
    static QString resolutionSuffix(QSize screenSize);

    // Top strip of the window that must lie on a screen, and how much of it at least.
    static constexpr int TopStripHeight = 24;
    static constexpr int MinVisibleWidth = 64;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString readWithSuffix(const IniFile &ini, const QString &key) const;
    void restorePlacement(const IniFile &ini);
    void applyPosition(QPoint topLeft);
    void restoreState(const IniFile &ini);
    void guarded(bool restoring, bool atEnd);

    QPointer<QWidget> m_form;
    QString m_iniFileName;
    QString m_iniSection = QStringLiteral("place");
    int m_version = 0;
    bool m_restoresPosition;
    bool m_savesPlacement = true;
    bool m_restored = false;
    bool m_saved = false;
    // The parts of the window placement that have no meaning here but travel with it.
    QPoint m_minPosition{-1, -1};
    QPoint m_maxPosition{-1, -1};
};
