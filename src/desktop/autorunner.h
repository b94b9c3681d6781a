// Launch at log-on: a Desktop Entry for the program in one of six automatic-start folders.
//
// The folders, by TAutoRunAfter (user base: $XDG_CONFIG_HOME, default ~/.config; system base:
// the first folder of $XDG_CONFIG_DIRS, default /etc/xdg):
//   raUserLogin          <user base>/autostart           (the session starts these for the user)
//   raUserLoginOnce      <user base>/autostart-once
//   raWindowsStart       <system base>/autostart          (the session starts these for everyone)
//   raWindowsStartOnce   <system base>/autostart-once
//   raNTStartup          <system base>/autostart-services
//   raNTWarmReboot       <system base>/autostart-services-once
// The entry is <AppliName>.desktop. It registers the program when its Exec names exactly this
// executable (no arguments) and it is not switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false). As sessions do, a user entry hides the system entry of the
// same name, so a switched-off user entry is how one user turns a system registration off.
//
// The program writes and removes entries only in the user's folders: a tick always registers
// for this user (raUserLogin), whatever RunAfter says. System entries are read, and shown as a
// registration, but never written or removed; unticking one writes a switched-off user entry.
//
// Nothing here is ever reported to the user: a folder that cannot be read or written is passed
// over. After every change AutoRun() and RunAfter() say what the folders really hold, so a box
// showing AutoRun() never claims a registration that failed.
#pragma once

#include <QString>

#include <array>

enum TAutoRunAfter
{
    raUserLogin,
    raUserLoginOnce,
    raWindowsStart,
    raWindowsStartOnce,
    raNTStartup,
    raNTWarmReboot
};

class TAutoRunner
{
public:
    // The six folders, indexed by TAutoRunAfter.
    using Locations = std::array<QString, 6>;
    static Locations locationsFromEnvironment();

    // executable: the running program's absolute path, the Exec of its entry.
    TAutoRunner(const QString &executable, const Locations &locations);

    // Reads the folders (at each start): AutoRun, and RunAfter when a registration is found.
    // An empty AppliName becomes the executable's path.
    void Loaded();

    bool AutoRun() const { return m_autoRun; }
    void setAutoRun(bool on);

    TAutoRunAfter RunAfter() const { return m_runAfter; }
    void setRunAfter(TAutoRunAfter location);

    QString AppliName() const { return m_appliName; }
    void setAppliName(const QString &name) { m_appliName = name; }

    // The entry's file in a location.
    QString entryPath(TAutoRunAfter location) const;

    // The Exec value naming this executable, quoted as Desktop Entries require.
    static QString execValue(const QString &executable);

    // The order in which locations are read and cleared; the last match wins RunAfter.
    static constexpr std::array<TAutoRunAfter, 6> SearchOrder = {
        raUserLogin,        raWindowsStart, raUserLoginOnce,
        raWindowsStartOnce, raNTStartup,    raNTWarmReboot};

private:
    void determine();
    void apply();
    bool registersUs(TAutoRunAfter location) const;
    bool writeEntry(TAutoRunAfter location) const;
    bool writeMask() const;

    QString m_executable;
    Locations m_locations;
    QString m_appliName = QStringLiteral("Velmora");
    bool m_autoRun = false;
    TAutoRunAfter m_runAfter = raWindowsStart;
    bool m_loaded = false;
};
