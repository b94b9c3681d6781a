// Translation of windows from a language file.
//
// The section of a window is its objectName ("Form1", "Avertissement", "MAJ") and its keys repeat
// that name: "Form1.Caption" is the window's title, "Form1.Label3.Hint" the hint of the component
// named Label3 anywhere inside it, "Form1.Memo1.lines[0]" a line of a multi-line text box and
// "Form1.ComboBox1.items[2]" an item of a combo box or radio group. Only what the file gives
// changes; nothing ever goes back to the design texts.
//
// Components keep the Caption and Hint of the desktop they were designed for: Caption is the
// text of a label, button or action, the title of a group box or menu, or a property named
// "Caption" on our own widgets; Hint is the tool tip (or a property named "Hint").
#pragma once

#include <QList>
#include <QString>

class LanguageFile;
class QObject;
class QWidget;

// Sets the "Caption" or "Hint" of component to text. Does nothing when text is empty or the
// component has no such text; returns whether it set it.
bool SetStringProperty(QObject *component, const QString &propertyName, const QString &text);

// Translates each window of the list in order; null entries are skipped. A caption that the
// new text no longer fits grows its control within its parent, or wraps where it cannot.
void TranslateForms(const QList<QWidget *> &windows, const LanguageFile &table);

// Widens (or, for a label with no room left, wraps) a control so that its caption shows whole,
// and moves a label left, where there is room, until its text stands 4 pixels clear of the
// control to its right.
void FitCaption(QWidget *control);
