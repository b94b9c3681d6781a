#include "datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>
#include <sys/stat.h>

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
    // Installed templates are read-only for the user; the copy is theirs alone to read and write.
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
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
    folder.portable = QFileInfo(beside).isDir();
    folder.path = folder.portable ? beside : withSlash(home) + QStringLiteral("velmora/");
    if (!folder.portable) {
        QDir().mkpath(withSlash(home));
        // Notes are nobody else's business: the folder is the user's alone from the start.
        ::mkdir(QFile::encodeName(folder.path).constData(), 0700);
        if (!QFileInfo(folder.path).isDir()) {
            folder.error = QStringLiteral("cannot create ") + folder.path;
            return folder;
        }
    }
    folder.writable = isWritableFolder(folder.path);
    if (!folder.writable)
        return folder; // nothing can be copied there; the tables open read-only, if at all
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

bool askToOpenReadOnly(const QString &folder, QWidget *parent)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velmora"),
                    QStringLiteral("Le dossier des données %1 ne peut pas être modifié.\n\n"
                                   "Vos fiches peuvent être ouvertes en lecture seule : rien n'y "
                                   "sera enregistré.")
                        .arg(QDir::toNativeSeparators(folder)),
                    QMessageBox::NoButton, parent);
    QPushButton *readOnly = box.addButton(QStringLiteral("Ouvrir en lecture seule"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Quitter"), QMessageBox::RejectRole);
    box.setDefaultButton(readOnly);
    box.exec();
    return box.clickedButton() == readOnly;
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
