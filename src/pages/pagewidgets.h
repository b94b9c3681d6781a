// Small helpers the record pages share to build their controls.
#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>

class DBLineEdit;
class QComboBox;
class QLabel;
class QStringListModel;
class QWidget;
class TDataSource;

// A label of `text` whose top left corner is at `at`, as wide as its text.
QLabel *placeLabel(QWidget *page, const char *name, const char *text, QPoint at);

// A single-line field bound to `field` of `source`, on a `background` colour. `inputLimit` 0
// takes the width of the field.
DBLineEdit *placeBoundField(QWidget *page, const char *name, TDataSource *source, const char *field,
                            QRect geometry, int inputLimit, const QColor &background);

// An editable drop-down list over a string model (filled in one go, however long), with a hand
// cursor, its colours, and no completion: typed text stays as typed.
QComboBox *placeEntryList(QWidget *page, const char *name, QRect geometry, const QColor &background,
                          const QColor &text, QStringListModel **model);

// Replaces the list's entries, then selects `selected` (-1: none) and shows `text`.
void showEntries(QComboBox *list, QStringListModel *model, const QStringList &entries, int selected,
                 const QString &text);

// Shows `text` in the list's edit part with no entry selected.
void showListText(QComboBox *list, const QString &text);
