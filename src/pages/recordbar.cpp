#include "recordbar.h"

#include "actionbutton.h"
#include "recordactions.h"

#include <QAction>
#include <QToolButton>

const RecordBarLayout ToolBar1Layout = {
    "ToolBar1",
    {705, 28},
    {{{"ToolButton1", 33, nullptr},
      {"ToolButton17", 17, nullptr},
      {"ToolButton19", 0, "Nouveau"},
      {"ToolButton18", 28, nullptr},
      {"ToolButton20", 8, "Valider"},
      {"ToolButton4", 136, nullptr},
      {"ToolButton6", 0, nullptr},
      {"ToolButton8", 0, nullptr},
      {"ToolButton5", 0, nullptr}}},
};

const RecordBarLayout ToolBar3Layout = {
    "ToolBar3",
    {705, 23},
    {{{"ToolButton25", 33, nullptr},
      {"ToolButton28", 17, nullptr},
      {"ToolButton30", 0, "Nouveau"},
      {"ToolButton31", 18, nullptr},
      {"ToolButton33", 8, "Valider"},
      {"ToolButton15", 98, nullptr},
      {"ToolButton16", 0, nullptr},
      {"ToolButton23", 0, nullptr},
      {"ToolButton24", 0, nullptr}}},
};

const RecordBarLayout ToolBar5Layout = {
    "ToolBar5",
    {705, 29},
    {{{"ToolButton45", 25, nullptr},
      {"ToolButton47", 8, nullptr},
      {"ToolButton48", 0, nullptr},
      {"ToolButton50", 8, nullptr},
      {"ToolButton52", 8, "Enregistrer"},
      {"ToolButton54", 53, nullptr},
      {"ToolButton55", 0, nullptr},
      {"ToolButton56", 0, nullptr},
      {"ToolButton57", 0, nullptr}}},
    true,
};

RecordBar::RecordBar(RecordActions &actions, const RecordBarLayout &layout, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QLatin1String(layout.name));
    resize(layout.size);
    const std::array<QAction *, 9> byCommand = {
        actions.DataSetDelete(), actions.DataSetEdit(),  actions.DataSetInsert(),
        actions.DataSetCancel(), actions.DataSetPost(),  actions.DataSetFirst(),
        actions.DataSetPrior(),  actions.DataSetNext(),  actions.DataSetLast()};
    // The buttons sit centred in the bar's height.
    const int top = qMax(0, (layout.size.height() - ButtonHeight) / 2);
    for (size_t i = 0; i < byCommand.size(); ++i) {
        const RecordBarLayout::Button &place = layout.buttons[i];
        const std::optional<QString> hint =
            place.ownHint ? std::optional(QString::fromUtf8(place.ownHint)) : std::nullopt;
        QToolButton *button = makeActionButton(this, place.name, byCommand[i], hint);
        button->setAutoRaise(!layout.raised);
        m_nextLeft += place.gap;
        button->move(m_nextLeft, top);
        m_nextLeft += ButtonWidth;
        m_buttons[i] = button;
    }
}
