// A transparent label that shows the current date and time, refreshed every second while it is on
// screen: a window hidden in the tray all day does not wake for a clock no one sees.
#pragma once

#include <QDateTime>
#include <QLabel>
#include <QTimer>

class ClockLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClockLabel(QWidget *parent = nullptr);

    // The "c" form the program shows: short date, then long time, as in 07/12/2026 20:11:04.
    static QString format(const QDateTime &moment);

    QTimer *timer() { return &m_timer; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();

    QTimer m_timer;
};

// A link label whose text is turned 90 degrees (read from bottom to top). A left click released
// over it opens its address with the desktop's default handler.
class UrlLabel : public QWidget
{
    Q_OBJECT
public:
    explicit UrlLabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }
    // Opens the address, as a click does.
    void openLink();

    // Opens a link; the desktop's handler unless a test replaces it.
    using Opener = std::function<void(const QUrl &)>;
    void setOpener(Opener opener) { m_opener = std::move(opener); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_text;
    QString m_url;
    Opener m_opener;
    bool m_leftDown = false;
};
