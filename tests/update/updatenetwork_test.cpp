#include "updatenetwork.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The tests' main points the loader at the module this build made; these tests point it
// elsewhere and back.
class NetworkModule : public ::testing::Test
{
protected:
    void TearDown() override { UpdateNetwork::setModulePath(QStringLiteral(VELMORA_NETWORK_MODULE_FOR_TESTS)); }
};

TEST_F(NetworkModule, LoadsAndChecksAddressesThroughTheModule)
{
    UpdateNetwork::setModulePath(QStringLiteral(VELMORA_NETWORK_MODULE_FOR_TESTS));
    QString error;
    const std::unique_ptr<UpdateNetwork> network = UpdateNetwork::load(&error);
    ASSERT_NE(network, nullptr) << error.toStdString();
    EXPECT_TRUE(network->isAllowedBase(QUrl(QStringLiteral("https://updates.example/"))));
    EXPECT_FALSE(network->isAllowedBase(QUrl(QStringLiteral("http://updates.example/"))));
    // Nothing listens on the discard port of this machine: no server answered.
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    EXPECT_EQ(network->fetch(QUrl(QStringLiteral("http://127.0.0.1:9/x")), &sink, -1, 5000, {}),
              UpdateNetwork::Unreachable);
}

// A package installed without its module, or a file of that name that is no module: the dialog
// gets a reason to show, never a crash.
TEST_F(NetworkModule, MissingOrDamagedModuleGivesTheReason)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("libvelmora-network.so"));
    UpdateNetwork::setModulePath(missing);
    QString error;
    EXPECT_EQ(UpdateNetwork::load(&error), nullptr);
    EXPECT_TRUE(error.contains(QLatin1String("missing"))) << error.toStdString();
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();

    QFile damaged(missing);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a library");
    damaged.close();
    error.clear();
    EXPECT_EQ(UpdateNetwork::load(&error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(error.contains(QLatin1String("missing"))) << "it is there, but does not load";
}
