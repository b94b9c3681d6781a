// Which editor the formatting commands act on, and the guard that keeps them quiet while the
// bars are being set from an editor.
//
// One object for the whole window: the hub sets the mode when it selects a text page, the
// formatting commands read it. The guard is held through SyncGuard so that it is cleared again
// whatever happens while it is set.
//
//     PageMode mode;
//     connect(&mode, &PageMode::modeChanged, ...);   // the bars show the new page's editor
//     mode.setMode(PageMode::InfosEditor);
#pragma once

#include <QObject>

class PageMode : public QObject
{
    Q_OBJECT
public:
    enum Mode { TodoEditor = 0, InfosEditor = 1 };

    explicit PageMode(QObject *parent = nullptr) : QObject(parent) {}

    int mode() const { return m_mode; }
    // Emits modeChanged when the mode really changes.
    void setMode(int mode);

    bool syncGuard() const { return m_syncGuard; }
    void setSyncGuard(bool on) { m_syncGuard = on; }

signals:
    void modeChanged(int mode);

private:
    int m_mode = TodoEditor;
    bool m_syncGuard = false;
};

// Sets the guard for its lifetime.
class SyncGuard
{
public:
    explicit SyncGuard(PageMode &mode) : m_mode(mode) { m_mode.setSyncGuard(true); }
    ~SyncGuard() { m_mode.setSyncGuard(false); }
    SyncGuard(const SyncGuard &) = delete;
    SyncGuard &operator=(const SyncGuard &) = delete;

private:
    PageMode &m_mode;
};
