#include "ualarm.h"

#include "compositing.h"
#include "gradient.h"
#include "scrollinglabel.h"

#include <QGuiApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QWindow>


namespace {

constexpr int DialogWidth = 309;
constexpr int DialogHeight = 105;
constexpr int YesLeft = 72;
constexpr int NoLeft = 168;
constexpr int ButtonTop = 64;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 17;

const char *const ButtonStyle =
    "QPushButton { background-color: rgb(255, 152, 0); color: black;"
    " border: 1px solid rgb(150, 70, 0); border-radius: 3px; padding: 0px; }"
    "QPushButton:hover { background-color: rgb(255, 176, 48); }"
    "QPushButton:pressed { background-color: rgb(230, 120, 0); }"
    "QPushButton:focus { border: 2px solid rgb(128, 0, 0); }";

} // namespace

TAvertissement::TAvertissement(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("Avertissement"));
    setFixedSize(DialogWidth, DialogHeight);
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);

    EsGradient1 = new Gradient(this);
    EsGradient1->setObjectName(QStringLiteral("EsGradient1"));
    EsGradient1->setGeometry(0, 0, DialogWidth, DialogHeight);
    EsGradient1->setColors(QColor(255, 255, 0), QColor(255, 0, 0));
    EsGradient1->setBandCount(128);

    BtnOK = makeButton(QStringLiteral("BtnOK"), QStringLiteral("OK"), YesLeft);
    BtnNo = makeButton(QStringLiteral("BtnNo"), QStringLiteral("Non"), NoLeft);
    connect(BtnOK, &QPushButton::clicked, this, &TAvertissement::BtnOKClick);
    connect(BtnNo, &QPushButton::clicked, this, &TAvertissement::BtnNoClick);
    // What BtnOK reads at every showing; hidden, so that a language file can translate it.
    m_yesText = new QLabel(QStringLiteral("Oui"), this);
    m_yesText->setObjectName(QStringLiteral("LabelModeleOui"));
    m_yesText->hide();
    setupLabel();
    LabelAbandon = new QLabel(QStringLiteral("  Abandonner les modifications ?  "), this);
    LabelAbandon->setObjectName(QStringLiteral("LabelAbandon"));
    LabelAbandon->adjustSize();
    LabelAbandon->hide();

    // The first showing answers "Non" to a hasty Enter; later showings keep whichever button
    // had the focus.
    m_focusButton = BtnNo;
    BtnOK->installEventFilter(this);
    BtnNo->installEventFilter(this);
    FormCreate();
}

QPushButton *TAvertissement::makeButton(const QString &objectName, const QString &caption,
                                        int left)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    button->setGeometry(left, ButtonTop, ButtonWidth, ButtonHeight);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QLatin1String(ButtonStyle));
    button->setAutoDefault(true);
    return button;
}

void TAvertissement::setupLabel()
{
    labelalarme = new TScrollingLabel(this);
    labelalarme->setObjectName(QStringLiteral("labelalarme"));
    labelalarme->setGeometry(16, 32, 281, 25);
    labelalarme->setCaption(QStringLiteral("  Supprimer vraiment ?  "));
    labelalarme->setBackGroundColor(QColor(240, 202, 166));
    labelalarme->setTextColor(QColor(128, 0, 0));
    labelalarme->setTextFontName(QStringLiteral("Arial"));
    labelalarme->setTextSize(10);
    labelalarme->setTextStyle({});
    labelalarme->setScreenMode(TScrollingLabel::Normal);
    labelalarme->setGoAndBack(false);
    labelalarme->setScrollInterval(50);
    labelalarme->setScrollStep(2);
    labelalarme->setOffset(84);
    // The text keeps moving for the whole run, shown or not.
    labelalarme->setScroll(true);
    // Around the centred text band the label shows the control's ordinary background, which
    // here is the dialog's pale orange band rather than a grey box.
    QPalette palette = labelalarme->palette();
    palette.setColor(QPalette::Window, QColor(240, 202, 166));
    labelalarme->setPalette(palette);
}

void TAvertissement::FormCreate()
{
    setSmoothOutline(windowSystemComposites());
}

void TAvertissement::setSmoothOutline(bool smooth)
{
    if (!smooth) {
        setMask(QRegion(0, 0, DialogWidth, DialogHeight, QRegion::Ellipse));
        EsGradient1->setClipShape({});
        return;
    }
    setAttribute(Qt::WA_TranslucentBackground);
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(0, 0, DialogWidth, DialogHeight));
    EsGradient1->setClipShape(ellipse);
    // One pixel wider than the drawn outline, so that its blended rim shows while clicks on
    // the corners still reach the window behind.
    setMask(QRegion(-1, -1, DialogWidth + 2, DialogHeight + 2, QRegion::Ellipse));
}

TAvertissement::~TAvertissement() = default;

int TAvertissement::ask()
{
    labelalarme->setTag(QuestionTag);
    return exec();
}

int TAvertissement::ask(const QString &question)
{
    const QString usual = labelalarme->caption();
    labelalarme->setCaption(question);
    struct Restore
    {
        TScrollingLabel *label;
        QString caption;
        ~Restore() { label->setCaption(caption); }
    } restore{labelalarme, usual};
    return ask();
}

int TAvertissement::askDiscard()
{
    const QString question = labelalarme->caption();
    QPushButton *const deleteFocus = m_focusButton;
    labelalarme->setCaption(LabelAbandon->text());
    m_focusButton = BtnNo;
    const int answer = ask();
    labelalarme->setCaption(question);
    m_focusButton = deleteFocus;
    return answer;
}

void TAvertissement::FormActivate()
{
    if (labelalarme->tag() != QuestionTag)
        return;
    BtnNo->setVisible(true);
    BtnOK->move(YesLeft, BtnOK->y());
    BtnNo->move(NoLeft, BtnNo->y());
    BtnOK->setText(m_yesText->text());
}

void TAvertissement::restoreFocus()
{
    if (m_focusButton && m_focusButton->isVisible())
        m_focusButton->setFocus(Qt::OtherFocusReason);
}

// The answered button keeps the focus for the next showing, however it was pressed.
void TAvertissement::BtnOKClick()
{
    m_focusButton = BtnOK;
    done(ResultYes);
}

void TAvertissement::BtnNoClick()
{
    m_focusButton = BtnNo;
    done(ResultNo);
}

bool TAvertissement::eventFilter(QObject *watched, QEvent *event)
{
    // Only the user's own moves count: a window activation merely hands back an old focus,
    // and may arrive late, after the answer.
    if (event->type() == QEvent::FocusIn && isVisible() && (watched == BtnOK || watched == BtnNo)
        && static_cast<QFocusEvent *>(event)->reason() != Qt::ActiveWindowFocusReason)
        m_focusButton = static_cast<QPushButton *>(watched);
    return QDialog::eventFilter(watched, event);
}

void TAvertissement::setVisible(bool visible)
{
    if (visible && !m_placed) {
        // Centred on the whole desktop once; after that it stays where the user left it.
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect desktop = screen->virtualGeometry();
            move(desktop.center() - QPoint(DialogWidth / 2, DialogHeight / 2));
        }
        m_placed = true;
    }
    QDialog::setVisible(visible);
}

void TAvertissement::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormActivate();
    // A screen reader announces the window by its question, then the answer that has the focus.
    setAccessibleName(labelalarme->caption().trimmed());
    restoreFocus();
}

void TAvertissement::mousePressEvent(QMouseEvent *event)
{
    // The buttons and the label take their own presses; what reaches us is the background.
    event->accept();
    if (QWindow *window = windowHandle(); window && window->startSystemMove())
        return;
    // No window manager to move us: follow the mouse by hand until the button is released.
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void TAvertissement::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
    event->accept();
}

void TAvertissement::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    event->accept();
}
