// The skinned window: a picture that paints a frameless window and gives it its outline.
//
// Every pixel of exactly TransparentColor is cut out of the window's shape, so the desktop shows
// through and clicks there go to whatever lies behind. Near colours stay. A picture made of the
// transparent colour only leaves the window rectangular.
//
//   auto *skin = new TO32ImageForm(window);
//   skin->setPicture(skinRuns());      // the window takes the picture's size
//   // the shape is applied when the window is first shown
#pragma once

#include "runpicture.h"

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <optional>

class TO32CustomImageForm : public QWidget
{
    Q_OBJECT
public:
    // Placed on `window`: the window loses its frame and the component fills its client area.
    explicit TO32CustomImageForm(QWidget *window);

    QImage Picture() const { return m_runs.isNull() ? m_picture : m_runs.toImage(); }
    void setPicture(const QImage &picture);
    // Painted from the runs where they lie, a band of rows at a time: the pixels of the whole
    // picture are never held.
    void setPicture(const RunPicture &runs);
    QSize pictureSize() const { return m_runs.isNull() ? m_picture.size() : m_runs.size(); }

    QColor TransparentColor() const { return m_transparentColor; }
    void setTransparentColor(const QColor &color);

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);

    // The shape of the picture: the full rectangle less every run of transparent pixels, or
    // nothing when no pixel would remain (the window then stays rectangular).
    static std::optional<QRegion> buildShape(const QImage &picture, const QColor &transparent);
    static std::optional<QRegion> buildShape(const RunPicture &picture, const QColor &transparent);

    // The shape currently applied to the window (empty until the window was first shown).
    QRegion shape() const { return m_shape; }
    bool shapeApplied() const { return m_shapeApplied; }

signals:
    void mousePressed(QMouseEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void updateShape();
    void fitWindowToPicture();

    QImage m_picture;
    RunPicture m_runs;
    QImage m_band; // the rows being painted from m_runs
    QColor m_transparentColor = Qt::white;
    bool m_autoSize = true;
    QRegion m_shape;
    bool m_shapeApplied = false;
    bool m_shapeOutOfDate = true;
};

class TO32ImageForm : public TO32CustomImageForm
{
    Q_OBJECT
public:
    using TO32CustomImageForm::TO32CustomImageForm;
};
