// A one-line text band that scrolls sideways, round and round (the confirmation dialog's
// "  Supprimer vraiment ?  ").
//
// The caption is padded with blanks to at least the label's width and drawn once into a strip
// picture; painting rotates the strip left by Offset columns and shows its first (width) columns,
// vertically centred. A timer advances Offset by Scroll_Step every Scroll_Interval ms while Scroll
// is on and the label is visible: a hidden label never wakes the program. Setters act at once.
//
//     auto *label = new TScrollingLabel(dialog);
//     label->setGeometry(16, 32, 281, 25);
//     label->setCaption(QStringLiteral("  Supprimer vraiment ?  "));
//     label->setScroll(true);
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

class TScrollingLabel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(int Tag READ tag WRITE setTag)
    Q_PROPERTY(QColor BackGroundColor READ backGroundColor WRITE setBackGroundColor)
    Q_PROPERTY(QColor TextColor READ textColor WRITE setTextColor)
    Q_PROPERTY(QString TextFontName READ textFontName WRITE setTextFontName)
    Q_PROPERTY(int TextSize READ textSize WRITE setTextSize)
    Q_PROPERTY(TextStyles TextStyle READ textStyle WRITE setTextStyle)
    Q_PROPERTY(int Offset READ offset WRITE setOffset)
    Q_PROPERTY(bool Scroll READ scroll WRITE setScroll)
    Q_PROPERTY(int Scroll_Interval READ scrollInterval WRITE setScrollInterval)
    Q_PROPERTY(int Scroll_Step READ scrollStep WRITE setScrollStep)
    Q_PROPERTY(ScreenMode Screen_Mode READ screenMode WRITE setScreenMode)
    Q_PROPERTY(bool GoAndBack READ goAndBack WRITE setGoAndBack)

public:
    enum TextStyleFlag { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
    Q_DECLARE_FLAGS(TextStyles, TextStyleFlag)
    Q_FLAG(TextStyles)
    // Only plain rendering exists; the property is kept so that stored settings keep their place.
    enum ScreenMode { Normal };
    Q_ENUM(ScreenMode)

    explicit TScrollingLabel(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    QColor backGroundColor() const { return m_background; }
    void setBackGroundColor(const QColor &color);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    QString textFontName() const { return m_fontName; }
    void setTextFontName(const QString &name);
    int textSize() const { return m_textSize; }
    void setTextSize(int points);
    TextStyles textStyle() const { return m_textStyle; }
    void setTextStyle(TextStyles style);
    ScreenMode screenMode() const { return m_screenMode; }
    void setScreenMode(ScreenMode mode);

    // Offset above the strip length becomes 0, a negative one the strip length.
    int offset() const;
    void setOffset(int offset);
    bool scroll() const { return m_scroll; }
    // Whether the timer runs now: Scroll on and the label on screen.
    bool scrolling() const { return m_timer.isActive(); }
    void setScroll(bool on);
    // Below 10 ms (but not 0) becomes 10.
    int scrollInterval() const { return m_interval; }
    void setScrollInterval(int ms);
    // 0 becomes 1; limited to the strip length (in size, whatever the direction).
    int scrollStep() const { return m_step; }
    void setScrollStep(int pixels);
    // When true the text runs to the strip's end and comes back instead of wrapping around.
    bool goAndBack() const { return m_goAndBack; }
    void setGoAndBack(bool on) { m_goAndBack = on; }

    // One timer step: advance Offset by Scroll_Step, wrap (or turn) at the ends, repaint.
    void advance();

    // The padded caption, the strip drawn from it, its width, and the band of the label it
    // lands in.
    QString paddedCaption() const;
    const QImage &strip() const;
    int stripLength() const { return strip().width(); }
    QRect destinationBand() const;
    // The strip rotated left by Offset columns, as painted.
    QImage displayImage() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QFont stripFont() const;
    // Marks the strip stale; it is rebuilt on its next use. A hidden widget gets its resize
    // events only when shown, so the width is compared there as well.
    void buildStrip();
    void ensureStrip() const;

    QString m_caption;
    int m_tag = 0;
    QColor m_background{240, 202, 166};
    QColor m_textColor{128, 0, 0};
    QString m_fontName = QStringLiteral("Arial");
    int m_textSize = 10;
    TextStyles m_textStyle;
    ScreenMode m_screenMode = Normal;
    mutable int m_offset = 0; // brought back to 0 when a new strip is shorter
    int m_interval = 50;
    int m_step = 2;
    bool m_goAndBack = false;
    bool m_scroll = false;
    QTimer m_timer;
    mutable bool m_stale = true;
    mutable int m_builtWidth = -1;
    mutable QString m_padded;
    mutable QImage m_strip;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TScrollingLabel::TextStyles)
