#include "autorunner.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace {

constexpr const char *EntryGroup = "[Desktop Entry]";
constexpr const char *IconName = "velmora";

// Escapes of Desktop Entry string values: the character, and the letter after the backslash.
// A blank may also be written "\s"; we never write it that way. An unknown escape is kept as it
// is, for the quoting of Exec that comes after.
constexpr std::pair<char, char> Escapes[] = {
    {'\\', '\\'}, {'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}, {' ', 's'}};

QString unescapeString(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const QChar next = i + 1 < value.size() ? value.at(i + 1) : QChar();
        const auto *escape =
            std::find_if(std::begin(Escapes), std::end(Escapes),
                         [next](const auto &e) { return next == QLatin1Char(e.second); });
        if (c == QLatin1Char('\\') && escape != std::end(Escapes)) {
            out += QLatin1Char(escape->first);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString escapeString(const QString &value)
{
    QString out;
    for (const QChar c : value) {
        const auto *escape = std::find_if(std::begin(Escapes), std::end(Escapes) - 1,
                                          [c](const auto &e) { return c == QLatin1Char(e.first); });
        if (escape != std::end(Escapes) - 1)
            out += QLatin1Char('\\');
        out += escape != std::end(Escapes) - 1 ? QLatin1Char(escape->second) : c;
    }
    return out;
}

// Splits an (already string-unescaped) Exec value into its arguments: quoted arguments undo
// their \" \` \$ \\ escapes, "%%" is a plain "%". Returns nothing useful for unbalanced quotes.
QStringList execArguments(const QString &exec, bool *ok)
{
    QStringList args;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    *ok = true;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"'))
                quoted = false;
            else if (c == QLatin1Char('\\') && i + 1 < exec.size())
                current += exec.at(++i);
            else
                current += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                args << current;
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('"')) {
            quoted = inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        args << current;
    *ok = !quoted;
    for (QString &arg : args)
        arg.replace(QLatin1String("%%"), QLatin1String("%"));
    return args;
}

// The keys of the main group of a Desktop Entry file; empty when it cannot be read.
QHash<QString, QString> readEntry(const QString &path)
{
    QHash<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String(EntryGroup);
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0 || line.startsWith(QLatin1Char('#')))
            continue;
        const QString key = line.left(eq).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(eq + 1).trimmed());
    }
    return keys;
}

bool switchedOff(const QHash<QString, QString> &keys)
{
    return keys.value(QStringLiteral("Hidden")) == QLatin1String("true") ||
           keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QLatin1String("false");
}

bool writeFile(const QString &path, const QString &contents)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(contents.toUtf8());
    return file.commit();
}

} // namespace

TAutoRunner::Locations TAutoRunner::locationsFromEnvironment()
{
    QString user = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(user))
        user = QDir::homePath() + QLatin1String("/.config");
    QString system = QStringLiteral("/etc/xdg");
    const QStringList dirs = qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'));
    for (const QString &dir : dirs) {
        if (QDir::isAbsolutePath(dir)) {
            system = dir;
            break;
        }
    }
    Locations l;
    l[raUserLogin] = user + QLatin1String("/autostart");
    l[raUserLoginOnce] = user + QLatin1String("/autostart-once");
    l[raWindowsStart] = system + QLatin1String("/autostart");
    l[raWindowsStartOnce] = system + QLatin1String("/autostart-once");
    l[raNTStartup] = system + QLatin1String("/autostart-services");
    l[raNTWarmReboot] = system + QLatin1String("/autostart-services-once");
    return l;
}

TAutoRunner::TAutoRunner(const QString &executable, const Locations &locations)
    : m_executable(executable), m_locations(locations)
{}

void TAutoRunner::Loaded()
{
    // A file name cannot hold the path's separators.
    if (m_appliName.isEmpty())
        m_appliName = QString(m_executable).replace(QLatin1Char('/'), QLatin1Char('_'));
    m_loaded = true;
    determine();
}

void TAutoRunner::setAutoRun(bool on)
{
    m_autoRun = on;
    if (m_loaded)
        apply();
}

void TAutoRunner::setRunAfter(TAutoRunAfter location)
{
    m_runAfter = location;
    if (m_loaded)
        apply();
}

QString TAutoRunner::entryPath(TAutoRunAfter location) const
{
    return m_locations[location] + QLatin1Char('/') + m_appliName + QLatin1String(".desktop");
}

QString TAutoRunner::execValue(const QString &executable)
{
    QString quoted;
    for (const QChar c : executable) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1String("%"), QLatin1String("%%"));
    return escapeString(QLatin1Char('"') + quoted + QLatin1Char('"'));
}

// A user entry of the same name hides the system one from the session, whatever it says.
bool TAutoRunner::registersUs(TAutoRunAfter location) const
{
    if (location == raWindowsStart && QFile::exists(entryPath(raUserLogin)))
        return false;
    const QHash<QString, QString> keys = readEntry(entryPath(location));
    if (keys.isEmpty() || switchedOff(keys))
        return false;
    bool ok = false;
    const QStringList args = execArguments(unescapeString(keys.value(QStringLiteral("Exec"))), &ok);
    return ok && args.size() == 1 && args.first() == m_executable;
}

void TAutoRunner::determine()
{
    m_autoRun = false;
    for (TAutoRunAfter location : SearchOrder) {
        if (registersUs(location)) {
            m_autoRun = true;
            m_runAfter = location;
        }
    }
}

// Only the user's own folders change: a system folder holds what an administrator set up for
// every user, and a program run as root would otherwise register itself for all of them. So a
// tick writes the user's entry whatever RunAfter says, and an untick that finds a system entry
// switches it off for this user alone. Afterwards the state is read back from the folders.
void TAutoRunner::apply()
{
    for (TAutoRunAfter location : {raUserLogin, raUserLoginOnce})
        QFile::remove(entryPath(location));
    if (m_autoRun)
        writeEntry(raUserLogin);
    else if (registersUs(raWindowsStart))
        writeMask();
    determine();
}

bool TAutoRunner::writeEntry(TAutoRunAfter location) const
{
    // The user's folder is often missing on a fresh account.
    QDir().mkpath(m_locations[location]);
    const QString contents =
        QLatin1String(EntryGroup) + QLatin1String("\nType=Application\nName=") +
        escapeString(m_appliName) + QLatin1String("\nExec=") + execValue(m_executable) +
        QLatin1String("\nIcon=") + QLatin1String(IconName) + QLatin1Char('\n');
    return writeFile(entryPath(location), contents);
}

bool TAutoRunner::writeMask() const
{
    QDir().mkpath(m_locations[raUserLogin]);
    const QString contents = QLatin1String(EntryGroup) +
                             QLatin1String("\nType=Application\nName=") +
                             escapeString(m_appliName) + QLatin1String("\nHidden=true\n");
    return writeFile(entryPath(raUserLogin), contents);
}
