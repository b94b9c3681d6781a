// Where things are in src/update: this dialog; the version file's lookup (profilestring), the
// downloads (updatefetch) and the server's addresses (updateserver).
//
// The update dialog (window "MAJ"): compares the installed version with the version file on the
// update server and, when they differ, fetches the installer, starts it and ends the program.
//
// Its steps run from two timers and wait for the network in local event loops, so the dialog
// stays painted and its close box works throughout; closing it stops whatever is under way.
//
//   waiting ──Timer2Timer──> checking ──> finished (BtnFin shown: no connection, a file that
//                               │                   cannot be fetched, or the same version)
//                               └──> announced (Memo1: new version) ──Timer1Timer──> downloading
//   downloading ──> installer verified, started, program ends
//               └─> refused or failed: message 4 (3 when no server answered), the dialog
//                   closes itself after a pause
//
// The installer runs only when its SHA-256 digest is the one the version file gives under the
// key "sha256"; it is written under a temporary name beside the executable and takes its own
// name, executable for the owner alone, once verified. It is refused as soon as it grows past
// the size the version file gives under "size" (512 MiB when it gives none).
#pragma once

#include "updatenetwork.h"

#include <QByteArray>
#include <QDialog>
#include <QUrl>

#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

struct UpdateSetup
{
    QString applicationDirectory; // ends with "/"; the downloads go here
    QString settingsFile;         // holds the installed version; empty: data/velmora.ini in the above
    // Stands in for the settings file's version when it has none: only an installer writes that
    // key, and a copy nobody installed would otherwise be offered its own version again and again.
    QByteArray programVersion;
    QUrl base;                    // empty: the address the program was built with
    std::function<int()> languageNumber;    // of the messages; empty: the user's locale
    std::function<bool()> internetConnected; // empty: the system's answer (through the network module)
    std::function<void()> endApplication;   // empty: the event loop is asked to end
    // The waits of the check, in milliseconds.
    int checkDelay = 1000;        // shown to the first step
    int fetchPause = 1000;        // before the version file is fetched
    int downloadDelay = 2000;     // the announcement, before the installer is fetched
    int failureCloseDelay = 5000; // a failed installer's message, before the dialog closes
    int versionFileDeadline = 60 * 1000;        // the whole fetch of the version file
    int installerDeadline = 30 * 60 * 1000;     // the whole fetch of the installer
};

class TMAJ : public QDialog
{
    Q_OBJECT
public:
    explicit TMAJ(UpdateSetup setup, QWidget *owner = nullptr);
    ~TMAJ() override;

    // Shows a dialog modally with owner as its parent.
    static void showModal(QWidget *owner, UpdateSetup setup);

    void done(int result) override;

signals:
    // The dialog is closing: the step under way stops.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void FormActivate();
    void Timer2Timer();
    void Timer1Timer();
    void BtnFinClick();

private:
    void setupControls();
    QString message(int index) const;
    void setStatus(int index);
    QByteArray ReadLocalVersion() const;
    bool FetchVersionFile();
    UpdateNetwork::Result fetchInstaller();
    // The network module, loaded on first use; null (its reason shown once) when it cannot be.
    UpdateNetwork *network();
    bool startInstaller();
    bool pause(int milliseconds);
    void showProgress(qint64 received, qint64 total);

    UpdateSetup m_setup;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *BtnFin = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    std::unique_ptr<UpdateNetwork> m_network;
    bool m_networkMissing = false;

    bool m_activated = false;
    bool m_closed = false;
    QString m_downloadPath;
    QByteArray m_localVersion;
    QByteArray m_remoteVersion;
    QByteArray m_remoteText;
    QByteArray m_remoteSha256;
    qint64 m_installerLimit = 0;
};
