// The keyboard path through the main window's hub.
//
// On the front page the hub picture `Image1` holds the focus, and Tab, Enter or Space open the
// hub. The hub's areas (Form1::pages()) are Tab stops from left to right (to-do, address book,
// information, options) that Enter or Space select, and Ctrl+1 to Ctrl+4 select the same pages
// from anywhere in the window, opening the hub first. A page chosen either way, or by a click,
// takes the focus so that its own keys work at once.
//
//     auto *keys = new HubKeys(*form1);   // after the hub and the notebook exist
#pragma once

#include <QObject>

#include <vector>

class Form1;
class QAction;
class ClickLabel;

class HubKeys : public QObject
{
    Q_OBJECT
public:
    explicit HubKeys(Form1 &window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openHub();
    void selectPage(int page);

    Form1 &m_window;
    ClickLabel *m_openHub = nullptr;
    struct Area
    {
        ClickLabel *label;
        int page;
        bool secret;
    };
    std::vector<Area> m_areas; // left to right
};
