#include "umaj.h"

#include "art.h"
#include "catalogue.h"
#include "inisyntax.h"
#include "profilestring.h"
#include "updateserver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char *VersionFileName = "uvelmora.ini";
constexpr const char *InstallerFileName = "updatevelmora.exe";
constexpr qint64 MaxVersionFileSize = 1 << 20;
constexpr qint64 DefaultInstallerLimit = qint64(512) << 20;

// The installer's size as the version file states it; the default when it states none.
qint64 installerLimit(const QByteArray &stated)
{
    bool ok = false;
    const qint64 size = stated.toLongLong(&ok);
    return ok && size > 0 ? size : DefaultInstallerLimit;
}

bool isSha256Hex(const QByteArray &text)
{
    if (text.size() != 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// The quit request waits for the running handler to return; no window is asked first.
void postApplicationExit()
{
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

} // namespace

TMAJ::TMAJ(UpdateSetup setup, QWidget *owner) : QDialog(owner), m_setup(std::move(setup))
{
    if (m_setup.base.isEmpty())
        m_setup.base = UpdateServer::defaultBase();
    if (!m_setup.languageNumber)
        m_setup.languageNumber = SystemLanguageNumber;
    if (!m_setup.internetConnected)
        m_setup.internetConnected = [this] {
            UpdateNetwork *net = network();
            return net && net->connected();
        };
    if (!m_setup.endApplication)
        m_setup.endApplication = postApplicationExit;

    setObjectName(QStringLiteral("MAJ"));
    setWindowTitle(QStringLiteral("Mise à jour"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8)); // the main window's
    setFixedSize(401, 213);
    move(329, 224);
    setAutoFillBackground(true);
    // White, so black text whatever the desktop's colours.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base}) {
        pal.setColor(role, Qt::white);
        pal.setColor(role == QPalette::Window ? QPalette::WindowText : QPalette::Text, Qt::black);
    }
    setPalette(pal);

    connect(this, &TMAJ::closing, this, [this] {
        if (m_network)
            m_network->abort();
    });
    setupControls();
}

TMAJ::~TMAJ() = default;

UpdateNetwork *TMAJ::network()
{
    if (!m_network && !m_networkMissing) {
        QString error;
        m_network = UpdateNetwork::load(&error);
        if (!m_network) {
            // An installation without its module: said once, the dialog then reports no connection.
            m_networkMissing = true;
            std::fprintf(stderr, "velmora: %s\n", qPrintable(error));
            QMessageBox::warning(this, QStringLiteral("Velmora"), error);
        }
    }
    return m_network.get();
}

void TMAJ::setupControls()
{
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 401, 81);
    Image1->setPixmap(artPixmap(QStringLiteral("update-banner"), QSize(401, 81)));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(0, 81, 401, 17);
    Label1->setIndent(8);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(0, 98, 401, 119);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setReadOnly(true);
    Memo1->setPalette(palette());
    Memo1->document()->setDocumentMargin(6); // the details line up with the status line
    Label1->setBuddy(Memo1);                 // the details read under the status they explain

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setGeometry(8, 186, 262, 19);
    m_progress->hide();

    BtnFin = new QPushButton(QStringLiteral("Fermer"), this);
    BtnFin->setObjectName(QStringLiteral("BtnFin"));
    BtnFin->setGeometry(280, 184, 75, 25);
    BtnFin->setCursor(Qt::PointingHandCursor);
    BtnFin->setStyleSheet(QStringLiteral("QPushButton { background: #00ff00; border: 1px solid "
                                         "#2f8f2f; border-radius: 3px; }"
                                         "QPushButton:pressed { background: #00cc00; }"));
    BtnFin->hide();
    connect(BtnFin, &QPushButton::clicked, this, &TMAJ::BtnFinClick);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(m_setup.checkDelay);
    connect(Timer2, &QTimer::timeout, this, &TMAJ::Timer2Timer);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(m_setup.downloadDelay);
    connect(Timer1, &QTimer::timeout, this, &TMAJ::Timer1Timer);
}

void TMAJ::showModal(QWidget *owner, UpdateSetup setup)
{
    TMAJ dialog(std::move(setup), owner);
    dialog.exec();
}

// Closing stops the timers and whatever step waits, so nothing is fetched or started after.
void TMAJ::done(int result)
{
    if (!m_closed) {
        m_closed = true;
        Timer1->stop();
        Timer2->stop();
        emit closing();
    }
    QDialog::done(result);
}

// Once per dialog: a window activated again later must not run the check a second time.
void TMAJ::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        FormActivate();
    }
}

void TMAJ::FormActivate()
{
    BtnFin->hide();
    Timer2->start();
}

QString TMAJ::message(int index) const
{
    return CatalogueMessage(m_setup.languageNumber(), index);
}

void TMAJ::setStatus(int index)
{
    Label1->setText(message(index));
}

// The waits of the check keep the dialog painted and closable; false once it was closed.
bool TMAJ::pause(int milliseconds)
{
    if (m_closed)
        return false;
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    connect(this, &TMAJ::closing, &loop, &QEventLoop::quit);
    loop.exec();
    return !m_closed;
}

QByteArray TMAJ::ReadLocalVersion() const
{
    const QString settings = m_setup.settingsFile.isEmpty()
        ? m_setup.applicationDirectory + QLatin1String("data/") + QLatin1String(ini::SettingsFileName)
        : m_setup.settingsFile;
    const QByteArray version = readProfileString(settings, "options", "version");
    return version.isEmpty() ? m_setup.programVersion : version;
}

void TMAJ::Timer2Timer()
{
    Timer2->stop();
    setStatus(CatalogueIndex::Checking);
    if (!m_setup.internetConnected()) {
        BtnFin->show();
        setStatus(CatalogueIndex::NoConnection);
        return;
    }
    m_localVersion = ReadLocalVersion();
    if (!pause(m_setup.fetchPause))
        return;
    if (!FetchVersionFile()) {
        if (!m_closed)
            BtnFin->show();
        return;
    }
    if (m_localVersion == m_remoteVersion) {
        setStatus(CatalogueIndex::UpToDate);
        BtnFin->show();
        return;
    }
    // An installer nobody vouched for is never fetched.
    if (!isSha256Hex(m_remoteSha256)) {
        setStatus(CatalogueIndex::FileUnreadable);
        BtnFin->show();
        return;
    }
    Memo1->appendPlainText(message(CatalogueIndex::NewVersion) + profileText(m_remoteVersion));
    Memo1->appendPlainText(profileText(m_remoteText));
    Timer1->start();
}

// The local copy goes whatever happened to it, so no stale version file is ever read again.
bool TMAJ::FetchVersionFile()
{
    if (!m_setup.internetConnected()) {
        setStatus(CatalogueIndex::NoConnection);
        return false;
    }
    m_downloadPath = m_setup.applicationDirectory + QLatin1String(VersionFileName);
    UpdateNetwork::Result result = UpdateNetwork::Failed;
    UpdateNetwork *net = network();
    if (net && net->isAllowedBase(m_setup.base)) {
        QFile file(m_downloadPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            result = net->fetch(UpdateServer::fileUrl(m_setup.base, UpdateServer::VersionFilePath),
                                &file, MaxVersionFileSize, m_setup.versionFileDeadline, {});
            if (!file.flush())
                result = UpdateNetwork::Failed;
        }
    }
    if (result == UpdateNetwork::Done) {
        m_remoteVersion = readProfileString(m_downloadPath, "options", "version");
        m_remoteText = readProfileString(m_downloadPath, "options", "text");
        m_remoteSha256 = readProfileString(m_downloadPath, "options", "sha256").toLower();
        m_installerLimit = installerLimit(readProfileString(m_downloadPath, "options", "size"));
    }
    QFile::remove(m_downloadPath);
    if (result == UpdateNetwork::Failed)
        setStatus(CatalogueIndex::FileUnreadable);
    else if (result == UpdateNetwork::Unreachable)
        setStatus(CatalogueIndex::NoConnection);
    return result == UpdateNetwork::Done;
}

void TMAJ::Timer1Timer()
{
    Timer1->stop();
    m_downloadPath = m_setup.applicationDirectory + QLatin1String(InstallerFileName);
    setStatus(CatalogueIndex::Downloading);
    const UpdateNetwork::Result fetched = fetchInstaller();
    if (m_closed)
        return;
    if (fetched == UpdateNetwork::Done && startInstaller()) {
        m_setup.endApplication();
        accept();
        return;
    }
    setStatus(fetched == UpdateNetwork::Unreachable ? CatalogueIndex::NoConnection
                                                  : CatalogueIndex::FileUnreadable);
    if (pause(m_setup.failureCloseDelay))
        reject();
}

// Fetches the installer under a temporary name beside its final one, so that the rename that
// gives it its name is atomic, and lets it have that name only when its digest is the one the
// version file announced. Anything else removes the temporary file.
UpdateNetwork::Result TMAJ::fetchInstaller()
{
    UpdateNetwork *net = network();
    if (!net || !net->isAllowedBase(m_setup.base))
        return UpdateNetwork::Failed;
    QTemporaryFile part(m_downloadPath + QLatin1String(".XXXXXX"));
    if (!part.open())
        return UpdateNetwork::Failed;
    m_progress->setRange(0, 0);
    m_progress->show();
    const UpdateNetwork::Result result =
        net->fetch(UpdateServer::fileUrl(m_setup.base, UpdateServer::InstallerPath), &part,
                   m_installerLimit, m_setup.installerDeadline,
                   [this](qint64 received, qint64 total) { showProgress(received, total); });
    m_progress->hide();
    if (result != UpdateNetwork::Done)
        return result;
    if (net->sha256() != m_remoteSha256 || !part.flush()
        || !part.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return UpdateNetwork::Failed;
    part.close();
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(m_downloadPath).constData())
        != 0)
        return UpdateNetwork::Failed;
    part.setAutoRemove(false);
    return UpdateNetwork::Done;
}

bool TMAJ::startInstaller()
{
    return QProcess::startDetached(m_downloadPath, {}, m_setup.applicationDirectory);
}

void TMAJ::showProgress(qint64 received, qint64 total)
{
    if (total <= 0) {
        m_progress->setRange(0, 0);
        return;
    }
    m_progress->setRange(0, 1000);
    m_progress->setValue(int(std::clamp<qint64>(received * 1000 / total, 0, 1000)));
}

void TMAJ::BtnFinClick()
{
    close();
}
