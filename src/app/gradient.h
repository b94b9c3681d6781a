// A vertical colour gradient drawn as a fixed number of flat bands (the confirmation dialog's
// yellow-to-red background, `EsGradient1`).
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QWidget>
#include <vector>

// One flat band of the gradient: rows [top, top + rows) painted in colour.
struct GradientBand
{
    QColor color;
    int top = 0;
    int rows = 0;
};

// The bands of a vertical gradient over `height` rows, in painting order (later bands paint over
// earlier ones). Band k of n has, per channel, start + round(k * (end - start) / (n - 1)); it
// starts at row round(k * height / n) and covers round(1.5 * height / n) rows, at least one.
std::vector<GradientBand> gradientBands(const QColor &start, const QColor &end, int height,
                                        int bandCount);

class Gradient : public QWidget
{
    Q_OBJECT
public:
    explicit Gradient(QWidget *parent = nullptr);

    void setColors(const QColor &start, const QColor &end);
    void setBandCount(int count);
    int bandCount() const { return m_bandCount; }

    // Paints only inside this outline (widget coordinates), with a smooth edge, when it is not
    // empty. Where the window system composites, the shaped dialog is see-through: the corners
    // stay unpainted and the edge blends into the desktop.
    void setClipShape(const QPainterPath &shape);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_start{255, 255, 0};
    QColor m_end{255, 0, 0};
    int m_bandCount = 128;
    QPainterPath m_clip;
};
