// Small helpers the record pages share to build their controls.
#pragma once

#include <QColor>
#include <QLocale>
#include <QRect>
#include <QStringList>

#include <vector>

class DBLineEdit;
class QComboBox;
class QLabel;
class QStringListModel;
class QWidget;
class TDataSource;

// A label of `text` whose top left corner is at `at`, as wide as its text.
QLabel *placeLabel(QWidget *page, const char *name, const char *text, QPoint at);

// The label a screen reader reads for `field` where the page shows none: hidden, with a caption
// that language files replace as any other.
QLabel *nameField(QWidget *field, const char *name, const char *caption);

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

// A long text in the list's edit part shows its beginning, unless the person is typing there.
void showBeginning(QComboBox *list);

// The positions of `keys` in the order of `locale`, letter case and accents aside; equal keys
// keep the order they came in. The C locale sorts as English (it would put every capital before
// every small letter).
std::vector<int> sortedOrder(const QStringList &keys, const QLocale &locale);

// A text as the find-as-you-type of a list compares it: accents dropped, letter case folded.
QString foldForFind(const QString &text);
