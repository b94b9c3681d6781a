#include "datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <stdexcept>

#ifndef VELMORA_SHARE_FROM_BIN
#define VELMORA_SHARE_FROM_BIN "../share/velmora"
#endif

namespace {

QString withSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

bool isWritableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable() && info.isExecutable();
}

// A table is one .dbf with its memo and index files: group the templates by base name.
QMap<QString, QStringList> tablesIn(const QDir &dir)
{
    QMap<QString, QStringList> tables;
    for (const QFileInfo &f : dir.entryInfoList(QDir::Files)) {
        const QString suffix = f.suffix().toLower();
        if (suffix == QLatin1String("dbf") || suffix == QLatin1String("dbt")
            || suffix == QLatin1String("mdx"))
            tables[f.completeBaseName().toLower()] << f.fileName();
    }
    return tables;
}

// Files copied by hand from elsewhere may carry upper-case names: any case counts.
bool anyPresent(const QString &dataDirectory, const QString &base)
{
    return tablesIn(QDir(dataDirectory)).contains(base.toLower());
}

// Copies through a temporary name, so that a half-copied table never looks present.
void copyOne(const QString &from, const QString &to)
{
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(from, part) || !QFile::rename(part, to)) {
        QFile::remove(part);
        throw std::runtime_error(("cannot copy " + from + " to " + to).toStdString());
    }
    // Installed templates are read-only for the user; the copy is theirs to write.
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                  | QFile::ReadOther);
}

} // namespace

QString dataHome()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString sharedDirectory(const QString &applicationDirectory)
{
    const QString appDir = withSlash(applicationDirectory);
    if (QFileInfo(appDir + QStringLiteral("templates")).isDir())
        return appDir;
    const QString installed =
        withSlash(QDir::cleanPath(appDir + QStringLiteral(VELMORA_SHARE_FROM_BIN)));
    return QFileInfo(installed).isDir() ? installed : appDir;
}

DataFolder prepareDataFolder(const QString &applicationDirectory, const QString &home)
{
    DataFolder folder;
    const QString beside = withSlash(applicationDirectory) + QStringLiteral("data/");
    folder.portable = isWritableFolder(beside);
    folder.path = folder.portable ? beside : withSlash(home) + QStringLiteral("velmora/");
    if (!folder.portable && !QDir().mkpath(folder.path)) {
        folder.error = QStringLiteral("cannot create ") + folder.path;
        return folder;
    }
    try {
        const QString templates =
            sharedDirectory(applicationDirectory) + QStringLiteral("templates/");
        if (QFileInfo(templates).isDir())
            fillFromTemplates(templates, folder.path);
    } catch (const std::exception &e) {
        folder.error = QString::fromStdString(e.what());
    }
    return folder;
}

QStringList fillFromTemplates(const QString &templatesDirectory, const QString &dataDirectory)
{
    const QString target = withSlash(dataDirectory);
    const QDir source(templatesDirectory);
    QStringList copied;
    const auto tables = tablesIn(source);
    for (auto it = tables.begin(); it != tables.end(); ++it) {
        const QString base = QFileInfo(it.value().first()).completeBaseName();
        if (anyPresent(target, base))
            continue;
        for (const QString &file : it.value()) {
            copyOne(source.filePath(file), target + file);
            copied << file;
        }
    }
    return copied;
}
