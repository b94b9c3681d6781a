#include "formplacement.h"

#include "application.h"
#include "inifile.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

namespace {

enum ShowCmd
{
    ShowNormal = 1,
    ShowMinimized = 2,
    ShowMaximized = 3
};
constexpr int RestoreToMaximized = 2;

QScreen *primary()
{
    return QGuiApplication::primaryScreen();
}

int pixelsPerInch()
{
    return primary() ? qRound(primary()->logicalDotsPerInch()) : 96;
}

QString currentSuffix()
{
    return TFormPlacement::resolutionSuffix(primary() ? primary()->size() : QSize());
}

// Word i of a position value as an integer; fallback when missing or not a number.
int word(const QStringList &words, int i, int fallback)
{
    bool ok = false;
    const int value = i < words.size() ? words.at(i).toInt(&ok) : 0;
    return ok ? value : fallback;
}

QStringList words(const QString &value)
{
    static const QRegularExpression separators(QStringLiteral("[ ,]+"));
    return value.split(separators, Qt::SkipEmptyParts);
}

bool topStripOnAScreen(const QRect &window)
{
    const QRect strip(window.topLeft(), QSize(window.width(), TFormPlacement::TopStripHeight));
    const int needed = qMin(window.width(), TFormPlacement::MinVisibleWidth);
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect seen = screen->availableGeometry().intersected(strip);
        if (seen.width() >= needed && seen.height() >= TFormPlacement::TopStripHeight / 2)
            return true;
    }
    return false;
}

} // namespace

TFormPlacement::TFormPlacement(QWidget *form)
    : QObject(form), m_form(form),
      m_restoresPosition(QGuiApplication::platformName() == QLatin1String("xcb"))
{
    setObjectName(QStringLiteral("FormPlacement1"));
    form->installEventFilter(this);
    // The program may end without a close (an update, the session ending).
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!m_saved)
            guarded(false, true);
    });
}

QString TFormPlacement::resolutionSuffix(QSize screenSize)
{
    return QStringLiteral("(%1x%2)").arg(screenSize.width()).arg(screenSize.height());
}

// Shows by the window system (back from the task bar) are not the program showing its window.
bool TFormPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form) {
        if (event->type() == QEvent::Show && !event->spontaneous())
            guarded(true, false);
        else if (event->type() == QEvent::Close)
            guarded(false, false);
    }
    return QObject::eventFilter(watched, event);
}

void TFormPlacement::guarded(bool restoring, bool atEnd)
{
    try {
        if (restoring)
            restore();
        else
            save(atEnd);
    } catch (...) {
        Application::reportCurrentException();
    }
}

QString TFormPlacement::readWithSuffix(const IniFile &ini, const QString &key) const
{
    const QString value = ini.readString(m_iniSection, key + currentSuffix());
    return value.isEmpty() ? ini.readString(m_iniSection, key) : value;
}

void TFormPlacement::restore()
{
    m_saved = false;
    if (m_form && !m_iniFileName.isEmpty()) {
        const IniFile ini(m_iniFileName);
        if (ini.readInteger(m_iniSection, QStringLiteral("FormVersion"), 0) >= m_version)
            restorePlacement(ini);
    }
    m_restored = true;
    // A borderless window is maximised onto the screen's corner.
    m_maxPosition = QPoint(0, 0);
}

void TFormPlacement::restorePlacement(const IniFile &ini)
{
    bool found = false;
    const QString minMax = readWithSuffix(ini, QStringLiteral("MinMaxPos"));
    if (!minMax.isEmpty()) {
        const QStringList w = words(minMax);
        m_minPosition = QPoint(word(w, 0, 0), word(w, 1, 0));
        m_maxPosition = QPoint(word(w, 2, 0), word(w, 3, 0));
        found = true;
    }
    QPoint topLeft = m_form->frameGeometry().topLeft();
    const QString norm = readWithSuffix(ini, QStringLiteral("NormPos"));
    if (!norm.isEmpty()) {
        const QStringList w = words(norm);
        topLeft = QPoint(word(w, 0, topLeft.x()), word(w, 1, topLeft.y()));
        found = true;
    }
    const int ppi = ini.readInteger(m_iniSection, QStringLiteral("PixelsPerInch"), pixelsPerInch());
    if (found && ppi == pixelsPerInch() && m_restoresPosition)
        applyPosition(topLeft);
    restoreState(ini);
    m_form->update();
}

void TFormPlacement::applyPosition(QPoint topLeft)
{
    const QRect wanted(topLeft, m_form->frameGeometry().size());
    if (topStripOnAScreen(wanted)) {
        m_form->move(topLeft);
    } else if (primary()) {
        const QRect screen = primary()->availableGeometry();
        m_form->move(screen.center() - QPoint(wanted.width() / 2, wanted.height() / 2));
    }
}

void TFormPlacement::restoreState(const IniFile &ini)
{
    Qt::WindowStates state = Qt::WindowNoState;
    switch (ini.readInteger(m_iniSection, QStringLiteral("ShowCmd"), 0)) {
    case 2:
    case 6:
    case 7:
        state = Qt::WindowMinimized;
        break;
    case 3:
        state = Qt::WindowMaximized;
        break;
    default:
        break; // 1, 5, 9 and anything else: normal
    }
    m_form->setWindowState(state);
}

void TFormPlacement::save(bool atEnd)
{
    if (!m_restored || !m_form || m_iniFileName.isEmpty() || !m_savesPlacement)
        return;
    const bool minimized = m_form->isMinimized();
    const int showCmd = minimized               ? ShowMinimized
                        : m_form->isMaximized() ? ShowMaximized
                                                : ShowNormal;
    const int flags =
        minimized && m_form->windowState().testFlag(Qt::WindowMaximized) ? RestoreToMaximized : 0;
    QRect normal = m_form->frameGeometry();
    if ((minimized || m_form->isMaximized()) && m_form->normalGeometry().isValid())
        normal = m_form->normalGeometry();
    const QString minMax = QStringLiteral("%1,%2,%3,%4")
                               .arg(m_minPosition.x())
                               .arg(m_minPosition.y())
                               .arg(m_maxPosition.x())
                               .arg(m_maxPosition.y());
    const QString normPos = QStringLiteral("%1,%2,%3,%4")
                                .arg(normal.left())
                                .arg(normal.top())
                                .arg(normal.left() + normal.width())
                                .arg(normal.top() + normal.height());

    IniFile ini(m_iniFileName);
    const auto write = [&](const QString &key, const QString &value) {
        ini.writeString(m_iniSection, key, value);
    };
    write(QStringLiteral("FormVersion"), QString::number(m_version));
    write(QStringLiteral("Flags"), QString::number(flags));
    write(QStringLiteral("ShowCmd"), QString::number(showCmd));
    write(QStringLiteral("PixelsPerInch"), QString::number(pixelsPerInch()));
    write(QStringLiteral("MinMaxPos") + currentSuffix(), minMax);
    write(QStringLiteral("MinMaxPos"), minMax);
    write(QStringLiteral("NormPos") + currentSuffix(), normPos);
    write(QStringLiteral("NormPos"), normPos);
    write(QStringLiteral("Visible"), atEnd ? QStringLiteral("1") : QStringLiteral("0"));
    m_saved = true;
}
