// What the update dialog needs of the network, from the module "velmora-network" (networkmodule
// .cpp), loaded the first time the dialog reaches for the network: the program itself starts
// without the network libraries.
//
//     QString error;
//     std::unique_ptr<UpdateNetwork> network = UpdateNetwork::load(&error);
//     if (network && network->connected() && network->isAllowedBase(base))
//         network->fetch(url, &file, maxBytes, deadlineMs, {}) == UpdateNetwork::Done ...
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QIODevice;

class UpdateNetwork
{
public:
    // As UpdateFetch::run() gives them.
    enum Result { Done, Failed, Unreachable, Aborted };

    virtual ~UpdateNetwork() = default;

    // InternetConnected().
    virtual bool connected() = 0;
    // UpdateServer::isAllowedBase().
    virtual bool isAllowedBase(const QUrl &base) = 0;
    // UpdateFetch::run(), its progress reported to `progress` (when set).
    virtual Result fetch(const QUrl &url, QIODevice *sink, qint64 maxBytes, int deadlineMs,
                         const std::function<void(qint64 received, qint64 total)> &progress) = 0;
    // UpdateFetch::abort(): the fetch under way returns Aborted.
    virtual void abort() = 0;
    // The digest of what the last fetch wrote.
    virtual QByteArray sha256() const = 0;

    // The module beside the program (a build), else where the package installs it, else (first)
    // the one setModulePath() named. Null, with the reason in `error`, when none loads: once
    // loaded, a module stays for the run.
    static std::unique_ptr<UpdateNetwork> load(QString *error);
    // For programs laid out otherwise, such as the tests.
    static void setModulePath(const QString &path);
};

// The module's one entry: a new UpdateNetwork, the caller's to delete.
#define VELMORA_UPDATE_NETWORK_ENTRY "velmora_update_network"
using UpdateNetworkFactory = UpdateNetwork *(*)();
