#include "pagewidgets.h"

#include "dblineedit.h"
#include "readablecolours.h"

#include <QCollator>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringListModel>

#include <algorithm>

QLabel *placeLabel(QWidget *page, const char *name, const char *text, QPoint at)
{
    auto *label = new QLabel(QString::fromUtf8(text), page);
    label->setObjectName(QLatin1String(name));
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel *nameField(QWidget *field, const char *name, const char *caption)
{
    auto *label = new QLabel(QString::fromUtf8(caption), field->parentWidget());
    label->setObjectName(QLatin1String(name));
    label->setBuddy(field);
    label->hide();
    return label;
}

DBLineEdit *placeBoundField(QWidget *page, const char *name, TDataSource *source, const char *field,
                            QRect geometry, int inputLimit, const QColor &background)
{
    auto *edit = new DBLineEdit(page);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(geometry);
    edit->setInputLimit(inputLimit);
    setReadableColours(edit, QPalette::Base, background);
    edit->setDataSource(source);
    edit->setDataField(QLatin1String(field));
    return edit;
}

QComboBox *placeEntryList(QWidget *page, const char *name, QRect geometry, const QColor &background,
                          const QColor &text, QStringListModel **model)
{
    auto *list = new QComboBox(page);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(geometry);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    // Measuring thousands of entries for a size hint would slow every rebuild down.
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setCursor(Qt::PointingHandCursor);
    for (QWidget *part : {static_cast<QWidget *>(list), static_cast<QWidget *>(list->lineEdit())})
        for (QPalette::ColorRole role : {QPalette::Base, QPalette::Button, QPalette::Window})
            setReadableColours(part, role, ColourPair{background, text});
    *model = new QStringListModel(list);
    list->setModel(*model);
    // A long entry keeps its beginning in the drop-down too.
    list->view()->setTextElideMode(Qt::ElideRight);
    return list;
}

void showEntries(QComboBox *list, QStringListModel *model, const QStringList &entries, int selected,
                 const QString &text)
{
    model->setStringList(entries);
    list->setCurrentIndex(selected);
    list->setEditText(text);
    showBeginning(list);
}

void showListText(QComboBox *list, const QString &text)
{
    list->setCurrentIndex(-1);
    list->setEditText(text);
    showBeginning(list);
}

void showBeginning(QComboBox *list)
{
    // Not under the typing hand: the caret stays where the person types.
    if (!list->hasFocus() && !list->lineEdit()->hasFocus())
        list->lineEdit()->home(false);
}

std::vector<int> sortedOrder(const QStringList &keys, const QLocale &locale)
{
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<std::pair<QCollatorSortKey, int>> sortKeys;
    sortKeys.reserve(size_t(keys.size()));
    for (int i = 0; i < keys.size(); ++i)
        sortKeys.emplace_back(collator.sortKey(keys[i]), i);
    std::stable_sort(sortKeys.begin(), sortKeys.end(),
                     [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    std::vector<int> order;
    order.reserve(sortKeys.size());
    for (const auto &key : sortKeys)
        order.push_back(key.second);
    return order;
}

QString foldForFind(const QString &text)
{
    QString folded;
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    folded.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c;
    return folded.toCaseFolded();
}
