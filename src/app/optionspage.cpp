#include "optionspage.h"

#include "art.h"
#include "builtinmessages.h"
#include "clicklabel.h"
#include "languages.h"
#include "passworddialog.h"
#include "piconebarretache.h"
#include "readablecolours.h"
#include "sealtext.h"
#include "settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int NoticeMilliseconds = 8000;
// The faces behind the coloured texts: the update button's, and the middle of the OK picture.
const QColor UpdateButtonFace(240, 202, 166);
const QColor OkButtonFace(0x2d, 0x57, 0x78);

template <typename W> W *make(QWidget *parent, const char *name, QRect geometry)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

// Bold text in `colour`, or in the shade of it that reads on `behind`.
void setBoldColour(QWidget *w, const QColor &colour, const QColor &behind)
{
    QFont f = w->font();
    f.setBold(true);
    w->setFont(f);
    const QColor text = readableTextOn(behind, colour);
    QPalette pal = w->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::WindowText, text);
        pal.setColor(group, QPalette::ButtonText, text);
    }
    w->setPalette(pal);
}

void setQuietColour(QLabel *label)
{
    const QPalette page = label->palette();
    QPalette pal = page;
    pal.setColor(QPalette::WindowText,
                 quietTextOn(page.color(QPalette::Window), page.color(QPalette::WindowText)));
    label->setPalette(pal);
}

// Text labels size themselves to their text: the sizes of the form were measured with a
// narrower font than the ones found here, so a label is widened rather than cut off.
void fitText(QLabel *label)
{
    const int needed = label->sizeHint().width();
    if (needed > label->width())
        label->resize(needed, label->height());
}

} // namespace

OptionsPage::OptionsPage(const QString &settingsFile, QWidget *parent)
    : QWidget(parent), m_settingsFile(settingsFile)
{
    setObjectName(QStringLiteral("PageParametres"));
    resize(705, 377);
    setAutoFillBackground(true);
    setReadableColours(this, QPalette::Window, infoColours());

    setupTexts();
    setupChoices();
    setupFlags();
    setupUpdateGroup();
    setupOkCommand();
    setupKeyboard();
}

void OptionsPage::setupKeyboard()
{
    for (ClickLabel *flag : m_flags)
        flag->setKeyboardClickable(true);
    Label9->setKeyboardClickable(true);
    // Its own Enter, not the page's OK.
    UpdateNow->setAutoDefault(true);
    setTabOrder(Editpw2, m_flags.front());
    setTabOrder(m_flags.back(), Label9);
    setTabOrder(Label9, UpdateNow);
}

void OptionsPage::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        event->accept();
        Label9Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OptionsPage::setupTexts()
{
    // The heading keeps clear of the page's top edge, and reads as one.
    Label8 = make<QLabel>(this, "Label8", {0, 6, 705, 16});
    Label8->setText(QStringLiteral("Options"));
    Label8->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont heading = Label8->font();
    heading.setBold(true);
    Label8->setFont(heading);

    Label24 = make<QLabel>(this, "Label24", {512, 16, 71, 13});
    Label24->setText(QStringLiteral("Version 2.5.0.0"));

    // Which tables are in use: beside the program, or in the user's own folder.
    LabelDataFolder = make<QLabel>(this, "LabelDataFolder", {512, 31, 185, 13});
    const QString folder = QFileInfo(m_settingsFile).absolutePath();
    LabelDataFolder->setText(LabelDataFolder->fontMetrics().elidedText(
        QDir::toNativeSeparators(folder), Qt::ElideMiddle, LabelDataFolder->width()));
    LabelDataFolder->setToolTip(QDir::toNativeSeparators(folder));
    LabelDataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setQuietColour(LabelDataFolder);

    Label11 = make<QLabel>(this, "Label11", {119, 124, 42, 13});
    Label11->setText(QStringLiteral("Langue :"));

    Label10 = make<QLabel>(this, "Label10", {168, 288, 188, 13});
    Label10->setText(QStringLiteral("Vos options ont été enregistrées."));
    setBoldColour(Label10, Qt::red, palette().color(QPalette::Window));
    Label10->hide();
    // In the notice's place when OK kept the lock because the two passwords differ.
    LabelPasswordsDiffer = make<QLabel>(this, "LabelPasswordsDiffer", {168, 288, 188, 13});
    LabelPasswordsDiffer->setText(QStringLiteral("Les mots de passe sont différents."));
    setBoldColour(LabelPasswordsDiffer, Qt::red, palette().color(QPalette::Window));
    LabelPasswordsDiffer->hide();
    for (QLabel *label : {Label24, Label11, Label10, LabelPasswordsDiffer})
        fitText(label);
}

void OptionsPage::setupChoices()
{
    CheckBox1 = make<QCheckBox>(this, "CheckBox1", {40, 32, 401, 17});
    CheckBox1->setText(QStringLiteral("Lancement au démarrage de l'ordinateur"));
    CheckBox2 = make<QCheckBox>(this, "CheckBox2", {40, 56, 337, 17});
    CheckBox2->setText(QStringLiteral("Icone dans la barre des tâches"));
    CheckBox3 = make<QCheckBox>(this, "CheckBox3", {40, 80, 209, 17});
    CheckBox3->setText(QStringLiteral("Accès par mot de passe : "));
    for (QCheckBox *box : {CheckBox1, CheckBox2, CheckBox3})
        box->setCursor(Qt::PointingHandCursor);
    // A box set by code runs its handler too, as a click would.
    connect(CheckBox1, &QCheckBox::toggled, this, &OptionsPage::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &OptionsPage::CheckBox2Click);

    Editpw = make<QLineEdit>(this, "Editpw", {256, 80, 121, 19});
    Editpw->setToolTip(QStringLiteral("Entrer le mot de passe"));
    // As long as the repetition can be, or a longer password could never be confirmed.
    Editpw->setMaxLength(15);
    Editpw2 = make<QLineEdit>(this, "Editpw2", {400, 80, 121, 19});
    Editpw2->setToolTip(QStringLiteral("Répéter"));
    Editpw2->setMaxLength(15);
    showAsterisks(Editpw);
    showAsterisks(Editpw2);

    // The lock keeps the window closed; the tables stay plain files, and a person must not
    // believe otherwise.
    const QString lockOnly = QStringLiteral("Le mot de passe verrouille la fenêtre, pas les "
                                            "fichiers : qui ouvre le dossier des données lit vos notes.");
    CheckBox3->setToolTip(lockOnly);
    LabelVerrou = make<QLabel>(this, "LabelVerrou", {40, 102, 625, 13});
    LabelVerrou->setText(lockOnly);
    setQuietColour(LabelVerrou);

    // CheckBox2's hint on a desktop without a notification area; hidden, for the language file.
    m_noTrayText = make<QLabel>(this, "LabelModeleSansZone", {});
    m_noTrayText->setText(QStringLiteral("Ce bureau n'a pas de zone de notification : "
                                         "fermer la fenêtre quitte le programme."));
    m_noTrayText->hide();
}

void OptionsPage::setupFlags()
{
    // Where the flags stand, left to right; a language beyond them goes one step further.
    static constexpr int lefts[] = {186, 215, 243, 273, 302, 331};
    for (size_t i = 0; i < std::size(Languages); ++i) {
        const int left = i < std::size(lefts)
            ? lefts[i]
            : lefts[std::size(lefts) - 1] + 29 * int(i + 1 - std::size(lefts));
        const QByteArray name = "Image" + QByteArray::number(7 + int(i));
        ClickLabel *flag = make<ClickLabel>(this, name.constData(), {left, 125, 17, 12});
        flag->setPixmap(artPixmap(QString::fromLatin1(Languages[i].flag), flag->size(), devicePixelRatioF()));
        flag->setCursor(Qt::PointingHandCursor);
        // Each language in its own words, whatever the language on screen: the one a person
        // looks for is the one they read.
        flag->setToolTip(QString::fromUtf8(Languages[i].ownName));
        connect(flag, &ClickLabel::clicked, this, [this, i] { flagClick(int(i)); });
        m_flags.push_back(flag);
    }
}

void OptionsPage::setupUpdateGroup()
{
    RadioGroup1 = make<QGroupBox>(this, "RadioGroup1", {40, 171, 513, 89});
    RadioGroup1->setTitle(QStringLiteral("Mise à jour"));
    m_radioItems = new QButtonGroup(RadioGroup1);
    const QString items[3] = {QStringLiteral("Mise à jour automatique"),
                              QStringLiteral("Demander lorsqu'une mise à jour est disponible"),
                              QStringLiteral("Mise à jour manuelle")};
    for (int i = 0; i < 3; ++i) {
        auto *item = new QRadioButton(items[i], RadioGroup1);
        item->setGeometry(8, 18 + i * 22, 497, 20);
        m_radioItems->addButton(item, i);
    }
    RadioGroup1->hide();

    UpdateNow = make<QPushButton>(this, "UpdateNow", {232, 331, 225, 25});
    UpdateNow->setText(QStringLiteral("Mettre à jour le logiciel maintenant"));
    UpdateNow->setCursor(Qt::PointingHandCursor);
    setReadableColours(UpdateNow, QPalette::Button, UpdateButtonFace);
    setBoldColour(UpdateNow, Qt::red, UpdateButtonFace);
    connect(UpdateNow, &QPushButton::clicked, this, &OptionsPage::UpdateNowClick);
}

void OptionsPage::setupOkCommand()
{
    ImageOK = make<QLabel>(this, "ImageOK", {328, 257, 89, 17});
    ImageOK->setPixmap(artPixmap(QStringLiteral("ok-button"), ImageOK->size(),
                                  devicePixelRatioF()));
    Label9 = make<ClickLabel>(this, "Label9", {328, 257, 89, 17});
    Label9->setText(QStringLiteral("OK"));
    Label9->setAlignment(Qt::AlignCenter);
    Label9->setCursor(Qt::PointingHandCursor);
    setBoldColour(Label9, Qt::yellow, OkButtonFace);
    connect(Label9, &ClickLabel::clicked, this, &OptionsPage::Label9Click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(NoticeMilliseconds);
    connect(Timer1, &QTimer::timeout, this, &OptionsPage::Timer1Timer);
}

int OptionsPage::radioGroupItemIndex() const
{
    return m_radioItems->checkedId();
}

// Works out "p" and, for a new password given twice alike, writes "w" first. A lock switched
// off leaves the old "w" in the file. Two different texts keep the lock as it was (nothing to
// return): switching it off would surprise the user at the next start.
std::optional<QString> OptionsPage::lockValue()
{
    if (!CheckBox3->isChecked())
        return SealText(QStringLiteral("N"));
    const QString password = TrimControl(Editpw->text());
    if (password.isEmpty())
        return SealText(QStringLiteral("N"));
    if (Editpw->text() != Editpw2->text())
        return std::nullopt;
    SettingsAccess(m_settingsFile, Settings::Write, QStringLiteral("w"), SealText(password));
    return SealText(QStringLiteral("Y"));
}

// The OK command. A key that cannot be written stops it there with the error of the settings
// file; the notice then stays hidden.
void OptionsPage::Label9Click()
{
    const auto write = [this](const char *key, const QString &value) {
        SettingsAccess(m_settingsFile, Settings::Write, QString::fromLatin1(key), value);
    };
    write("ico", CheckBox2->isChecked() ? QStringLiteral("yes") : QStringLiteral("no"));
    const std::optional<QString> lock = lockValue();
    if (lock)
        write("p", *lock);
    write("lng", QString::number(m_hooks.languageCode ? m_hooks.languageCode() : 99));
    const QString maj = QString::number(radioGroupItemIndex());
    write("MAJ", maj);
    UpdateNow->setVisible(maj == QLatin1String("2"));
    Label10->setVisible(lock.has_value());
    LabelPasswordsDiffer->setVisible(!lock.has_value());
    // A running countdown goes on: the notice leaves 8000 ms after the first OK.
    if (!Timer1->isActive())
        Timer1->start();
}

void OptionsPage::Timer1Timer()
{
    Label10->hide();
    LabelPasswordsDiffer->hide();
    Timer1->stop();
}

void OptionsPage::CheckBox1Click()
{
    if (m_hooks.setLaunchAtLogOn)
        m_hooks.setLaunchAtLogOn(CheckBox1->isChecked());
}

void OptionsPage::CheckBox2Click()
{
    const bool on = CheckBox2->isChecked();
    if (m_hooks.setReduireSiFin)
        m_hooks.setReduireSiFin(on);
    if (m_hooks.setPetiteIconeVisible)
        m_hooks.setPetiteIconeVisible(on);
    explainTray();
}

void OptionsPage::showLaunchAtLogOn(bool registered)
{
    const QSignalBlocker quiet(CheckBox1);
    CheckBox1->setChecked(registered);
}

void OptionsPage::showPasswordLock()
{
    CheckBox3->setChecked(true);
}

void OptionsPage::showPassword(const QString &password)
{
    Editpw->setText(password);
    Editpw2->setText(Editpw->text());
}

void OptionsPage::showDesktopSwitches(bool launchAtLogOn, bool trayIcon)
{
    CheckBox1->setChecked(launchAtLogOn);
    CheckBox2->setChecked(trayIcon);
    explainTray();
}

void OptionsPage::explainTray()
{
    CheckBox2->setToolTip(TPiconeBarreTache::trayAvailable() ? QString() : m_noTrayText->text());
}

void OptionsPage::flagClick(int index)
{
    emit flagClicked(Languages[size_t(index)].code);
}

void OptionsPage::Image7Click() { flagClick(0); }
void OptionsPage::Image8Click() { flagClick(1); }
void OptionsPage::Image9Click() { flagClick(2); }
void OptionsPage::Image10Click() { flagClick(3); }
void OptionsPage::Image11Click() { flagClick(4); }
void OptionsPage::Image12Click() { flagClick(5); }

void OptionsPage::UpdateNowClick()
{
    TMAJ::showModal(window(), updateSetup());
}

UpdateSetup OptionsPage::updateSetup() const
{
    const QString dataFolder = QFileInfo(m_settingsFile).absolutePath();
    const QString besideProgram = QCoreApplication::applicationDirPath() + QLatin1String("/data");
    // A portable copy fetches beside its executable; an installed one cannot write there, so
    // its own data folder takes the downloads.
    const QString downloads = QFileInfo(dataFolder) == QFileInfo(besideProgram)
        ? QCoreApplication::applicationDirPath()
        : dataFolder;
    UpdateSetup setup;
    setup.applicationDirectory = downloads + QLatin1Char('/');
    setup.settingsFile = m_settingsFile;
    setup.programVersion = QCoreApplication::applicationVersion().toLatin1();
    setup.languageNumber = m_hooks.messageLanguage;
    return setup;
}
