// The module "velmora-network": the update's downloads and connectivity over Qt Network, for the
// program to load when its update dialog first needs them (updatenetwork.h).
#include "updatefetch.h"
#include "updatenetwork.h"
#include "updateserver.h"

#include <QNetworkAccessManager>

namespace {

static_assert(int(UpdateNetwork::Done) == int(UpdateFetch::Done) &&
              int(UpdateNetwork::Failed) == int(UpdateFetch::Failed) &&
              int(UpdateNetwork::Unreachable) == int(UpdateFetch::Unreachable) &&
              int(UpdateNetwork::Aborted) == int(UpdateFetch::Aborted));

class QtUpdateNetwork final : public UpdateNetwork
{
public:
    bool connected() override { return InternetConnected(); }
    bool isAllowedBase(const QUrl &base) override { return UpdateServer::isAllowedBase(base); }
    Result fetch(const QUrl &url, QIODevice *sink, qint64 maxBytes, int deadlineMs,
                 const std::function<void(qint64, qint64)> &progress) override
    {
        const QMetaObject::Connection shown =
            QObject::connect(&m_fetch, &UpdateFetch::progress, [&progress](qint64 received, qint64 total) {
                if (progress)
                    progress(received, total);
            });
        const UpdateFetch::Result result = m_fetch.run(url, sink, maxBytes, deadlineMs);
        QObject::disconnect(shown);
        return Result(result);
    }
    void abort() override { m_fetch.abort(); }
    QByteArray sha256() const override { return m_fetch.sha256(); }

private:
    QNetworkAccessManager m_manager;
    UpdateFetch m_fetch{&m_manager};
};

} // namespace

extern "C" Q_DECL_EXPORT UpdateNetwork *velmora_update_network()
{
    return new QtUpdateNetwork;
}
