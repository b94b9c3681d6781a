// The delete confirmation dialog: a borderless, always-on-top ellipse with a scrolling question
// and the buttons "Oui" (result 6) and "Non" (result 7). Created once at start-up and shown
// modally before every deletion; any answer other than 6 means "keep the record". BtnOK takes
// its "Oui" at every showing from the hidden label LabelModeleOui, in the interface language.
#pragma once

#include <QDialog>

class Gradient;
class QLabel;
class QPushButton;
class TScrollingLabel;

class TAvertissement : public QDialog
{
    Q_OBJECT
public:
    static constexpr int ResultYes = 6;
    static constexpr int ResultNo = 7;
    // The label's Tag that selects the question layout ("Oui" and "Non").
    static constexpr int QuestionTag = 1;

    explicit TAvertissement(QWidget *parent = nullptr);
    ~TAvertissement() override;

    // The callers' road: question layout, modal showing, the answer (6 means yes).
    int ask();
    // The same with another question in the scrolling text, for this showing only.
    int ask(const QString &question);
    // The same dialog asking whether to drop the changes of a record (Escape while editing): its
    // text is that of `LabelAbandon`, and the focus starts on "Non" at every showing, so that a
    // hasty Enter keeps the typing. The delete question keeps its own text and focus.
    int askDiscard();

    Gradient *EsGradient1 = nullptr;
    QPushButton *BtnOK = nullptr;
    QPushButton *BtnNo = nullptr;
    TScrollingLabel *labelalarme = nullptr;
    QLabel *LabelAbandon = nullptr; // hidden: the discard question's text, which languages replace

    void FormActivate();
    void BtnOKClick();
    void BtnNoClick();

    void setVisible(bool visible) override;

    // Smooth: a see-through window that draws its own blended ellipse, for window systems that
    // composite (chosen at creation). Otherwise the 1-bit elliptic mask cuts the shape.
    void setSmoothOutline(bool smooth);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void FormCreate();
    void setupLabel();
    void restoreFocus();
    QPushButton *makeButton(const QString &objectName, const QString &caption, int left);

    QLabel *m_yesText = nullptr;
    bool m_placed = false;
    QPushButton *m_focusButton = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

// The dialog of the running program; null until start-up has created it.
extern TAvertissement *Avertissement;
