// The update dialog against a real HTTP server on 127.0.0.1, with real files in a temporary
// application directory and a real installer (a shell script) started as a child process.
#include "umaj.h"

#include "testserver.h"
#include "updateserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// Failures show the text, not its characters one by one.
static void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

constexpr const char *VersionPath = "/french/download/uvelmora.ini";
constexpr const char *InstallerPath = "/french/download/updatevelmora.exe";

// Leaves a mark in its working directory, which must be the application directory.
const QByteArray Installer = "#!/bin/sh\necho ran > installer-ran\n";

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray versionFile(const QByteArray &version, const QByteArray &sha = sha256(Installer))
{
    QByteArray file = "[options]\r\n";
    if (!version.isNull())
        file += "version=" + version + "\r\n";
    file += "text=Faster pages and a new address book\r\n";
    if (!sha.isNull())
        file += "sha256=" + sha + "\r\n";
    return file;
}

class UpdateDialogTest : public ::testing::Test
{
protected:
    UpdateDialogTest()
    {
        QDir(m_dir.path()).mkdir("data");
        m_setup.applicationDirectory = m_dir.path() + "/";
        m_setup.base = m_server.base();
        m_setup.languageNumber = [this] { return m_language; };
        m_setup.internetConnected = [this] { return m_connected; };
        m_setup.endApplication = [this] { ++m_ends; };
        m_setup.checkDelay = m_setup.fetchPause = m_setup.downloadDelay = 0;
        m_setup.failureCloseDelay = 0;
        m_server.set(InstallerPath, {200, Installer});
    }

    void setLocalVersion(const QByteArray &version)
    {
        QFile ini(m_dir.filePath("data/velmora.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[options]\r\nico=no\r\n");
        if (!version.isNull())
            ini.write("version=" + version + "\r\n");
    }

    void open()
    {
        m_dialog = std::make_unique<TMAJ>(m_setup);
        m_dialog->show();
    }
    // Until the close button shows or the dialog closed itself.
    bool waitUntilFinished()
    {
        return QTest::qWaitFor([this] { return button()->isVisible() || !m_dialog->isVisible(); },
                               10000);
    }

    QString status() const { return m_dialog->findChild<QLabel *>("Label1")->text(); }
    QString memo() const { return m_dialog->findChild<QPlainTextEdit *>("Memo1")->toPlainText(); }
    QPushButton *button() const { return m_dialog->findChild<QPushButton *>("BtnFin"); }
    bool installerRequested() const { return m_server.requests().contains(InstallerPath); }
    // Every file the dialog left in the application directory.
    QStringList leftovers() const { return QDir(m_dir.path()).entryList(QDir::Files); }

    QTemporaryDir m_dir;
    TestServer m_server;
    UpdateSetup m_setup;
    int m_language = 12;
    bool m_connected = true;
    int m_ends = 0;
    std::unique_ptr<TMAJ> m_dialog;
};

// Every check that ends with the close button: nothing is fetched but the version file, and its
// local copy is gone.
TEST_F(UpdateDialogTest, ChecksThatEndWithoutAnInstaller)
{
    struct Case
    {
        const char *name;
        QByteArray local;
        int status;
        QByteArray versionFile;
        bool connected;
        QString message;
        const char *base = nullptr; // instead of the test server's
        QByteArray program = {};    // the running program's own version
    };
    QTcpServer port;
    ASSERT_TRUE(port.listen(QHostAddress::LocalHost));
    const QByteArray closed = "http://127.0.0.1:" + QByteArray::number(port.serverPort());
    port.close();
    const Case cases[] = {
        {"same version", "2.5.0.0", 200, versionFile("2.5.0.0"), true, "Votre programme est à jour !"},
        {"no version on either side", {}, 200, versionFile({}), true, "Votre programme est à jour !"},
        {"no installed version: the program's own counts", {}, 200, versionFile("2.5.0.0"), true,
         "Votre programme est à jour !", nullptr, "2.5.0.0"},
        {"version file missing", "2.5.0.0", 404, "Not found", true,
         "Lecture impossible ou fichier inexistant sur le serveur !"},
        {"new version without digest", "2.4.0.0", 200, versionFile("2.5.0.0", {}), true,
         "Lecture impossible ou fichier inexistant sur le serveur !"},
        {"digest not hex", "2.4.0.0", 200, versionFile("2.5.0.0", "xyz"), true,
         "Lecture impossible ou fichier inexistant sur le serveur !"},
        {"no connection", "2.4.0.0", 200, versionFile("2.5.0.0"), false,
         "Pas de Connexion Internet active"},
        {"plain http elsewhere", "2.4.0.0", 200, versionFile("2.5.0.0"), true,
         "Lecture impossible ou fichier inexistant sur le serveur !", "http://velmora.example"},
        {"nothing listens on the server's port", "2.4.0.0", 200, versionFile("2.5.0.0"), true,
         "Pas de Connexion Internet active", closed.constData()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setLocalVersion(c.local);
        m_server.set(VersionPath, {c.status, c.versionFile});
        m_connected = c.connected;
        m_setup.base = c.base ? QUrl(c.base) : m_server.base();
        m_setup.programVersion = c.program;
        open();
        ASSERT_TRUE(waitUntilFinished());
        EXPECT_EQ(status(), c.message);
        EXPECT_TRUE(m_dialog->isVisible()) << "waits for the user";
        EXPECT_TRUE(memo().isEmpty());
        EXPECT_FALSE(installerRequested());
        EXPECT_EQ(leftovers(), QStringList()) << "the version file's copy is removed";
        EXPECT_EQ(m_ends, 0);
        QTest::mouseClick(button(), Qt::LeftButton);
        EXPECT_FALSE(m_dialog->isVisible());
    }
}

TEST_F(UpdateDialogTest, AnyDifferentVersionInstallsTheVerifiedInstallerAndEndsTheProgram)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"2.5.0.0", "2.4.0.0"}, // no ordering: older counts too
        {"2.5.0.0", "2.5.0.0A"},
        {"2.5.0.0b", "2.5.0.0B"},
    };
    for (const auto &[local, remote] : cases) {
        SCOPED_TRACE(remote.toStdString());
        QFile::remove(m_dir.filePath("installer-ran"));
        setLocalVersion(local);
        m_server.set(VersionPath, {200, versionFile(remote)});
        const int endsBefore = m_ends;
        open();
        ASSERT_TRUE(waitUntilFinished());
        EXPECT_FALSE(m_dialog->isVisible()) << status().toStdString();
        EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
        EXPECT_EQ(m_ends, endsBefore + 1);
        EXPECT_EQ(memo(), "Nouvelle version : " + remote + "\nFaster pages and a new address book");

        const QFileInfo installer(m_dir.filePath("updatevelmora.exe"));
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        EXPECT_TRUE(installer.permissions() & QFile::ExeOwner);
        EXPECT_FALSE(installer.permissions() & others) << "executable for its owner alone";
        EXPECT_TRUE(QTest::qWaitFor([this] { return QFile::exists(m_dir.filePath("installer-ran")); }, 10000))
            << "started in the application directory";
        EXPECT_EQ(leftovers(), QStringList({"installer-ran", "updatevelmora.exe"}));
    }
}

// The installer is fetched but does not match the digest, or is not there at all: nothing runs,
// the program goes on and the dialog closes by itself.
TEST_F(UpdateDialogTest, AnInstallerThatIsNotTheAnnouncedOneNeverRuns)
{
    // The same server under another name, serving the announced installer: following the
    // redirect would run it.
    QUrl elsewhere = m_server.base().resolved(QUrl("/elsewhere/updatevelmora.exe"));
    elsewhere.setHost("localhost");
    m_server.set("/elsewhere/updatevelmora.exe", {200, Installer});
    const std::pair<const char *, TestServer::Response> cases[] = {
        {"tampered", {200, Installer + "rm -rf \"$HOME\"\n"}},
        {"missing", {404, "Not found"}},
        {"redirected to another host", {302, "", elsewhere.toString().toLatin1()}},
        {"larger than the version file says", {200, Installer}},
    };
    QFile old(m_dir.filePath("updatevelmora.exe"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("left from an earlier update");
    old.close();
    setLocalVersion("2.4.0.0");
    for (const auto &[name, response] : cases) {
        SCOPED_TRACE(name);
        const bool sized = std::string(name).starts_with("larger");
        m_server.set(VersionPath, {200, versionFile("2.5.0.0") + (sized ? "size=10\r\n" : "")});
        m_server.set(InstallerPath, response);
        open();
        QString statusAtClose;
        QObject::connect(m_dialog.get(), &TMAJ::closing, [this, &statusAtClose] { statusAtClose = status(); });
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_dialog->isVisible(); }, 10000));
        EXPECT_EQ(statusAtClose, "Lecture impossible ou fichier inexistant sur le serveur !");
        EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
        EXPECT_EQ(m_ends, 0);
        EXPECT_EQ(leftovers(), QStringList({"updatevelmora.exe"})) << "no partial file";
        QFile kept(m_dir.filePath("updatevelmora.exe"));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "left from an earlier update");
    }
    EXPECT_FALSE(m_server.requests().contains("/elsewhere/updatevelmora.exe"))
        << "the redirect was not followed";
}

TEST_F(UpdateDialogTest, GermanLocaleGetsGermanMessagesAndClosingDuringTheAnnouncementFetchesNothing)
{
    m_language = 7;
    m_setup.downloadDelay = 60000;
    QStringList seen;
    m_setup.internetConnected = [this, &seen] {
        seen << status();
        return true;
    };
    setLocalVersion("2.4.0.0");
    m_server.set(VersionPath, {200, versionFile("2.5.0.0")});
    open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !memo().isEmpty(); }, 10000));
    EXPECT_EQ(seen.value(0), "Suche nach Updates ...");
    EXPECT_EQ(memo(), "Neue Version2.5.0.0\nFaster pages and a new address book");
    EXPECT_FALSE(button()->isVisible());

    m_dialog->close();
    EXPECT_FALSE(m_dialog->findChild<QTimer *>("Timer1")->isActive());
    EXPECT_FALSE(installerRequested());
    EXPECT_EQ(leftovers(), QStringList());
    EXPECT_EQ(m_ends, 0);
}

TEST_F(UpdateDialogTest, ClosingDuringTheDownloadDeletesThePartialFileAndStartsNothing)
{
    QByteArray big = Installer + QByteArray(200000, '#');
    m_server.set(InstallerPath, {200, big, {}, 100000});
    setLocalVersion("2.4.0.0");
    m_server.set(VersionPath, {200, versionFile("2.5.0.0", sha256(big))});
    open();
    // The download waits in the dialog's own event loop, so the user's close comes from there.
    auto *progress = m_dialog->findChild<QProgressBar *>("Progress");
    QString statusSeen;
    double share = 0;
    QStringList partFiles;
    QObject::connect(progress, &QProgressBar::valueChanged, m_dialog.get(), [&](int value) {
        // The first half may come in several pieces.
        if (value < progress->maximum() * 45 / 100 || !m_dialog->isVisible())
            return;
        statusSeen = status();
        share = double(value) / progress->maximum();
        partFiles = leftovers();
        m_dialog->close();
    });
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_dialog->isVisible(); }, 10000));
    EXPECT_EQ(statusSeen, "Téléchargement en cours...");
    EXPECT_LE(share, 0.5) << "the progress shows no more than came";
    EXPECT_EQ(partFiles, QStringList()) << "no installer under its own name before it is verified";
    EXPECT_EQ(leftovers(), QStringList());
    EXPECT_EQ(m_ends, 0);
    EXPECT_FALSE(m_dialog->isVisible());
}

// An installed program keeps its settings away from its downloads: the version comes from the
// settings file wherever it lies, and nothing is left in either folder.
TEST_F(UpdateDialogTest, SettingsFileOutsideTheDownloadFolder)
{
    QTemporaryDir settings;
    QFile ini(settings.filePath("velmora.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[options]\r\nversion=2.5.0.0\r\n");
    ini.close();
    m_setup.settingsFile = ini.fileName();
    m_setup.programVersion = "2.4.0.0";
    m_server.set(VersionPath, {200, versionFile("2.5.0.0")});
    open();
    ASSERT_TRUE(waitUntilFinished());
    EXPECT_EQ(status(), "Votre programme est à jour !");
    EXPECT_EQ(leftovers(), QStringList());
    EXPECT_EQ(QDir(settings.path()).entryList(QDir::Files), QStringList("velmora.ini"));
}

TEST(UpdateServerTest, OnlyHttpsOrThisMachineServesUpdates)
{
    const std::pair<const char *, bool> bases[] = {
        {"https://velmora.example", true},   {"https://velmora.example/updates/", true},
        {"http://127.0.0.1:8080", true},     {"http://localhost", true},
        {"http://[::1]:9000", true},         {"http://velmora.example", false},
        {"http://192.168.1.10", false},      {"ftp://velmora.example", false},
        {"file:///tmp", false},              {"", false},
        {"https://user:pw@velmora.example", false},
    };
    for (const auto &[base, allowed] : bases)
        EXPECT_EQ(UpdateServer::isAllowedBase(QUrl(base)), allowed) << base;
    EXPECT_EQ(UpdateServer::fileUrl(QUrl("https://velmora.example/updates/"), VersionPath),
              QUrl("https://velmora.example/updates/french/download/uvelmora.ini"));
}

TEST(UpdateServerTest, RedirectsStayOnTheirSchemeHostAndPort)
{
    const QUrl from("https://velmora.example/french/download/updatevelmora.exe");
    const std::pair<const char *, bool> targets[] = {
        {"https://velmora.example/mirror/updatevelmora.exe", true},
        {"https://VELMORA.example:443/x", true},
        {"http://velmora.example/x", false},
        {"https://velmora.example:8443/x", false},
        {"https://elsewhere.example/x", false},
    };
    for (const auto &[to, allowed] : targets)
        EXPECT_EQ(UpdateServer::isAllowedRedirect(from, QUrl(to)), allowed) << to;
}

} // namespace
