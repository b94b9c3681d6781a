#include "updatenetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

namespace {

constexpr const char *ModuleFileName = "libvelmora-network.so";

QString &chosenModule()
{
    static QString path;
    return path;
}

} // namespace

void UpdateNetwork::setModulePath(const QString &path)
{
    chosenModule() = path;
}

std::unique_ptr<UpdateNetwork> UpdateNetwork::load(QString *error)
{
    const QString programFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    QStringList candidates;
    if (!chosenModule().isEmpty())
        candidates << chosenModule();
    candidates << programFolder + QLatin1String(ModuleFileName)
               << QDir::cleanPath(programFolder + QLatin1String(VELMORA_MODULE_FROM_BIN "/") +
                                  QLatin1String(ModuleFileName));
    QStringList failures;
    for (const QString &path : candidates) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary module(path);
        // Never unloaded: the objects it makes live on.
        if (auto make = reinterpret_cast<UpdateNetworkFactory>(module.resolve(VELMORA_UPDATE_NETWORK_ENTRY))) {
            if (UpdateNetwork *network = make())
                return std::unique_ptr<UpdateNetwork>(network);
        }
        failures << module.errorString();
    }
    if (error)
        *error = failures.isEmpty()
                     ? QStringLiteral("The update cannot reach the network: %1 is missing (looked for %2)")
                           .arg(QLatin1String(ModuleFileName), candidates.join(QLatin1String(", ")))
                     : QStringLiteral("The update cannot reach the network: %1")
                           .arg(failures.join(QLatin1String("; ")));
    return nullptr;
}
