#include "inifile.h"

#include "systemcodepage.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

IniWriteError::IniWriteError(const QString &path)
    : std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(path).toStdString()),
      m_path(path)
{
}

namespace {

// One line of the file with its own line break ("\n", "\r\n" or none for the last line), so
// that writing the lines back gives the file's bytes again.
struct Line
{
    QByteArray raw;

    QByteArray content() const
    {
        QByteArray c = raw;
        if (c.endsWith('\n'))
            c.chop(1);
        if (c.endsWith('\r'))
            c.chop(1);
        return c;
    }
    bool hasBreak() const { return raw.endsWith('\n'); }
};

struct Contents
{
    bool exists = false;
    bool readable = true;
    std::vector<Line> lines;
};

Contents load(const QString &fileName)
{
    Contents c;
    QFile file(fileName);
    c.exists = file.exists();
    if (!c.exists)
        return c;
    if (!file.open(QIODevice::ReadOnly)) {
        c.readable = false;
        return c;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        c.readable = false;
        return c;
    }
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', start);
        const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        c.lines.push_back({bytes.mid(start, end - start)});
        start = end;
    }
    return c;
}

// A UTF-8 byte order mark in front of the first line is not part of its name.
QByteArray withoutBom(QByteArray content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    return content;
}

std::optional<QString> sectionName(const Line &line)
{
    const QByteArray c = withoutBom(line.content()).trimmed();
    if (!c.startsWith('['))
        return std::nullopt;
    const qsizetype close = c.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return SystemCodePage::decode(c.mid(1, close - 1).trimmed());
}

std::optional<QString> keyName(const Line &line)
{
    const QByteArray c = withoutBom(line.content());
    const qsizetype eq = c.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    return SystemCodePage::decode(c.left(eq).trimmed());
}

QByteArray valueBytes(const Line &line)
{
    const QByteArray c = line.content();
    return c.mid(c.indexOf('=') + 1).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section's lines are: [header, end) with end the next header or the end of the file.
struct SectionRange
{
    size_t header;
    size_t end;
};

std::optional<SectionRange> findSection(const std::vector<Line> &lines, const QString &section)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !sameName(*name, section))
            continue;
        size_t end = i + 1;
        while (end < lines.size() && !sectionName(lines[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> findKey(const std::vector<Line> &lines, SectionRange range,
                              const QString &key)
{
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (sectionName(lines[i]))
            continue;
        const auto name = keyName(lines[i]);
        if (name && sameName(*name, key))
            return i;
    }
    return std::nullopt;
}

// New lines take the break style the file already uses.
QByteArray lineBreakOf(const std::vector<Line> &lines)
{
    for (const Line &line : lines) {
        if (line.hasBreak())
            return line.raw.endsWith("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    }
    return "\n";
}

void checkNames(const QString &section, const QString &key, const QString &value)
{
    const auto breaksLine = [](const QString &s) {
        return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
    };
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty() || breaksLine(section)
        || breaksLine(key) || breaksLine(value) || key.contains(QLatin1Char('='))
        || section.contains(QLatin1Char(']')))
        throw std::invalid_argument(
            QStringLiteral("Nom ou valeur invalide pour la clé « %1 »").arg(key).toStdString());
}

// Puts the key line into the lines: in place, at the end of its section, or in a new section.
void placeKey(std::vector<Line> &lines, const QString &section, const QString &key,
              const QString &value)
{
    const QByteArray br = lineBreakOf(lines);
    const QByteArray valueRaw = SystemCodePage::encode(value);
    const auto range = findSection(lines, section);
    if (!range) {
        if (!lines.empty() && !lines.back().hasBreak())
            lines.back().raw += br;
        lines.push_back({'[' + SystemCodePage::encode(section) + ']' + br});
        lines.push_back({SystemCodePage::encode(key) + '=' + valueRaw + br});
        return;
    }
    if (const auto at = findKey(lines, *range, key)) {
        Line &line = lines[*at];
        const QByteArray ending = line.raw.mid(line.content().size());
        const QByteArray bare = withoutBom(line.content());
        const QByteArray keyRaw = bare.left(bare.indexOf('='));
        const QByteArray bom = line.content().startsWith("\xEF\xBB\xBF") ? "\xEF\xBB\xBF" : "";
        line.raw = bom + keyRaw.trimmed() + '=' + valueRaw + ending;
        return;
    }
    // After the section's last entry, so that blank lines and comments in front of the next
    // section stay with it.
    size_t after = range->header;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        const QByteArray c = lines[i].content().trimmed();
        if (!c.isEmpty() && !c.startsWith(';') && !c.startsWith('#'))
            after = i;
    }
    if (!lines[after].hasBreak())
        lines[after].raw += br;
    lines.insert(lines.begin() + qsizetype(after) + 1,
                 Line{SystemCodePage::encode(key) + '=' + valueRaw + br});
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Replaces the file with `bytes` in one step: a temporary file beside it is written, synced and
// closed, every step checked (a full disk may only show at the sync or the close), and only then
// renamed over it. On any failure the temporary file goes and the old file stays as it was. The
// new file keeps the old one's permissions; a new settings file is the user's alone. A link is
// followed, so that the file it leads to is the one replaced.
bool replaceFile(const QString &fileName, const QByteArray &bytes)
{
    QString target = fileName;
    const QFileInfo info(fileName);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray finalPath = QFile::encodeName(target);
    QByteArray temporary = finalPath + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    struct stat old;
    const mode_t mode = ::stat(finalPath.constData(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), finalPath.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

} // namespace

IniFile::IniFile(const QString &fileName) : m_fileName(QFileInfo(fileName).absoluteFilePath()) {}

QString IniFile::readString(const QString &section, const QString &key,
                            const QString &defaultValue) const
{
    const Contents c = load(m_fileName);
    const auto range = findSection(c.lines, section);
    if (!range)
        return defaultValue;
    const auto at = findKey(c.lines, *range, key);
    if (!at)
        return defaultValue;
    return SystemCodePage::decode(valueBytes(c.lines[*at])).left(MaxValueLength);
}

int IniFile::readInteger(const QString &section, const QString &key, int defaultValue) const
{
    bool ok = false;
    const int value = readString(section, key).trimmed().toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    checkNames(section, key, value);
    Contents c = load(m_fileName);
    // A file we cannot read would lose every other line if we wrote it from nothing.
    if (c.exists && !c.readable)
        throw IniWriteError(m_fileName);
    placeKey(c.lines, section.trimmed(), key.trimmed(), value);

    QByteArray bytes;
    for (const Line &line : c.lines)
        bytes += line.raw;
    if (!replaceFile(m_fileName, bytes))
        throw IniWriteError(m_fileName);
}
