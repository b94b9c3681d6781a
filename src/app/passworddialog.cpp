#include "passworddialog.h"

#include "art.h"
#include "builtinmessages.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>

namespace {

class AsteriskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

void showAsterisks(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    auto *style = new AsteriskStyle;
    style->setParent(edit);
    edit->setStyle(style);
}

TPasswordForm::TPasswordForm(QWidget *parent, bool allowEmptyPassword)
    // A plain dialog frame: without CustomizeWindowHint the window manager adds minimise and
    // maximise buttons.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint
                          | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_allowEmpty(allowEmptyPassword)
{
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(LookupBuiltInMessage(BuiltInMessage::PasswordCaption));
    if (parent)
        setFont(parent->font());
    // Positions are laid out for 96 pixels per inch, as the window was drawn.
    const QScreen *screen = parent && parent->screen() ? parent->screen() : this->screen();
    if (screen && qRound(screen->logicalDotsPerInch()) != 96)
        m_scale = screen->logicalDotsPerInch() / 96.0;
    setFixedSize(qRound(269 * m_scale), qRound(117 * m_scale));
    setupControls();
    updateOkButton();
    PasswordEdit->setFocus();
}

void TPasswordForm::place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(qRound(left * m_scale), qRound(top * m_scale), qRound(width * m_scale),
                   qRound(height * m_scale));
}

void TPasswordForm::setupControls()
{
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    place(Bevel1, 12, 8, 244, 68);

    KeyImage = new QLabel(this);
    KeyImage->setObjectName(QStringLiteral("KeyImage"));
    place(KeyImage, 28, 24, 42, 42);
    KeyImage->setPixmap(artPixmap(QStringLiteral("key"), KeyImage->size(), devicePixelRatioF()));

    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    showAsterisks(PasswordEdit);
    place(PasswordEdit, 77, 39, 162, 21);
    connect(PasswordEdit, &QLineEdit::textChanged, this, &TPasswordForm::updateOkButton);

    PasswordLabel = new QLabel(LookupBuiltInMessage(BuiltInMessage::PasswordPrompt), this);
    PasswordLabel->setObjectName(QStringLiteral("PasswordLabel"));
    PasswordLabel->setWordWrap(true);
    PasswordLabel->setBuddy(PasswordEdit);
    place(PasswordLabel, 77, 22, 162, 15);

    OKButton = new QPushButton(LookupBuiltInMessage(BuiltInMessage::MsgDlgOK), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    place(OKButton, 96, 86, 78, 23);
    connect(OKButton, &QPushButton::clicked, this, [this] { done(OkResult); });

    CancelButton = new QPushButton(LookupBuiltInMessage(BuiltInMessage::MsgDlgCancel), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    place(CancelButton, 179, 86, 78, 23);
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(CancelResult); });

    // There is no help to show.
    HelpButton = new QPushButton(LookupBuiltInMessage(BuiltInMessage::MsgDlgHelp), this);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));
    HelpButton->hide();
}

void TPasswordForm::updateOkButton()
{
    OKButton->setEnabled(m_allowEmpty || !PasswordEdit->text().isEmpty());
}

bool TProPasswordDialog::Execute(QWidget *owner)
{
    TPasswordForm form(owner, AllowEmptyPassword);
    if (!m_password.isEmpty())
        form.PasswordEdit->setText(m_password);
    // Centred on the screen rather than on the owner.
    if (const QScreen *screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    const int result = form.exec();
    if (result == TPasswordForm::OkResult) {
        m_password = form.PasswordEdit->text();
        return true;
    }
    m_password.clear();
    return false;
}
