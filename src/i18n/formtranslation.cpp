#include "formtranslation.h"

#include "languagefile.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>

namespace {

const QString Unchanged = QStringLiteral("fsdef");

// The Qt property that plays the part of "Caption" or "Hint" for this object, or null.
const char *qtPropertyFor(const QObject *component, const QString &name)
{
    const QByteArray own = name.toLatin1();
    if (component->metaObject()->indexOfProperty(own.constData()) >= 0)
        return name == QLatin1String("Caption") ? "Caption" : "Hint";
    if (name == QLatin1String("Hint"))
        return component->isWidgetType() || qobject_cast<const QAction *>(component) ? "toolTip"
                                                                                    : nullptr;
    if (name != QLatin1String("Caption"))
        return nullptr;
    if (qobject_cast<const QAction *>(component) || qobject_cast<const QAbstractButton *>(component))
        return "text";
    if (qobject_cast<const QGroupBox *>(component) || qobject_cast<const QMenu *>(component))
        return "title";
    // A label showing a picture has no caption to replace.
    if (const auto *label = qobject_cast<const QLabel *>(component))
        return label->pixmap().isNull() ? "text" : nullptr;
    return nullptr;
}

// Lines of a multi-line text box: its blocks, none when it is empty.
template <typename Edit> void translateLines(Edit *edit, const LanguageFile &table,
                                             const QString &section, const QString &prefix)
{
    QTextDocument *document = edit->document();
    const int count = document->isEmpty() ? 0 : document->blockCount();
    for (int n = 0; n < count; ++n) {
        const QString value =
            table.value(section, prefix + QStringLiteral(".lines[%1]").arg(n), Unchanged);
        if (value == Unchanged)
            continue;
        QTextCursor cursor(document->findBlockByNumber(n));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(value);
    }
}

void translateItems(QObject *component, const LanguageFile &table, const QString &section,
                    const QString &prefix)
{
    const auto item = [&](int n) {
        return table.value(section, prefix + QStringLiteral(".items[%1]").arg(n));
    };
    if (auto *combo = qobject_cast<QComboBox *>(component)) {
        for (int n = 0; n < combo->count(); ++n)
            if (const QString value = item(n); !value.isEmpty())
                combo->setItemText(n, value);
    } else if (auto *group = qobject_cast<QGroupBox *>(component)) {
        const QList<QRadioButton *> items =
            group->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
        for (int n = 0; n < items.size(); ++n)
            if (const QString value = item(n); !value.isEmpty()) {
                items[n]->setText(value);
                FitCaption(items[n]);
            }
    }
}

void translateComponent(QObject *component, const LanguageFile &table, const QString &section)
{
    const QString prefix = section + u'.' + component->objectName();
    const QString caption = table.value(section, prefix + QLatin1String(".Caption"));
    if (SetStringProperty(component, QStringLiteral("Caption"), caption) &&
        component->isWidgetType())
        FitCaption(static_cast<QWidget *>(component));
    SetStringProperty(component, QStringLiteral("Hint"),
                      table.value(section, prefix + QLatin1String(".Hint")));
    if (auto *plain = qobject_cast<QPlainTextEdit *>(component))
        translateLines(plain, table, section, prefix);
    else if (auto *rich = qobject_cast<QTextEdit *>(component))
        translateLines(rich, table, section, prefix);
    translateItems(component, table, section, prefix);
}

// Centred captions stay centred as they grow.
bool growsBothWays(const QWidget *control)
{
    if (qobject_cast<const QPushButton *>(control))
        return true;
    const auto *label = qobject_cast<const QLabel *>(control);
    return label && (label->alignment() & Qt::AlignHCenter);
}

int neededWidth(const QWidget *control)
{
    if (const auto *box = qobject_cast<const QGroupBox *>(control))
        return box->minimumSizeHint().width();
    return control->sizeHint().width();
}

// The width a page will have: one not laid out yet (its notebook still hidden) takes the size
// of the first ancestor that has one.
int widthOf(const QWidget *parent)
{
    const QWidget *sized = parent;
    while (!sized->testAttribute(Qt::WA_Resized) && sized->parentWidget())
        sized = sized->parentWidget();
    return sized == parent ? parent->width() : sized->width() - parent->mapTo(sized, QPoint()).x();
}

// Whether a sibling is something a caption must not run into: pictures and backgrounds under
// a text are meant to be there.
bool isObstacle(const QWidget *sibling, const QWidget *parent)
{
    const auto *picture = qobject_cast<const QLabel *>(sibling);
    return sibling->isVisibleTo(parent) && !(picture && !picture->pixmap().isNull()) &&
           sibling->geometry() != parent->rect();
}

// The stretch of its row that a control may grow into: up to the nearest neighbours on either
// side, a gap kept that leaves a label clear of its field, within its page.
std::pair<int, int> freeStretch(const QWidget *control)
{
    constexpr int Gap = 4;
    const QWidget *parent = control->parentWidget();
    const QRect g = control->geometry();
    int left = 0;
    int right = widthOf(parent);
    for (const QWidget *sibling : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect s = sibling->geometry();
        if (sibling == control || !isObstacle(sibling, parent) || s.bottom() < g.top() ||
            s.top() > g.bottom())
            continue;
        // A field that a label's trailing blanks reach into still bounds its text.
        if (s.left() > g.left())
            right = std::min(right, s.left() - Gap);
        else if (s.right() < g.left())
            left = std::max(left, s.right() + 1 + Gap);
    }
    return {left, std::max(left, right)};
}

} // namespace

bool SetStringProperty(QObject *component, const QString &propertyName, const QString &text)
{
    if (!component || text.isEmpty())
        return false;
    const char *property = qtPropertyFor(component, propertyName);
    return property && component->setProperty(property, text);
}

void FitCaption(QWidget *control)
{
    QWidget *parent = control->parentWidget();
    auto *label = qobject_cast<QLabel *>(control);
    const bool fits = label || qobject_cast<QGroupBox *>(control) ||
                      (qobject_cast<QAbstractButton *>(control) &&
                       !qobject_cast<QToolButton *>(control));
    if (!parent || control->isWindow() || !fits || (label && label->wordWrap()))
        return;
    const auto [leftBound, rightBound] = freeStretch(control);
    QRect g = control->geometry();
    const int needed = neededWidth(control);
    if (needed > g.width()) {
        const int width = std::min(needed, rightBound - leftBound);
        if (growsBothWays(control))
            g.moveLeft(g.left() - (width - g.width()) / 2);
        g.setWidth(width);
        g.moveLeft(std::clamp(g.left(), leftBound, std::max(leftBound, rightBound - width)));
        if (label && needed > width) {
            label->setWordWrap(true);
            g.setHeight(std::max(g.height(), label->heightForWidth(width)));
        }
    }
    // A label's text, its trailing blanks aside, ends clear of the field on its right.
    if (label && !label->wordWrap() && !(label->alignment() & (Qt::AlignHCenter | Qt::AlignRight))) {
        const int ink = label->fontMetrics().horizontalAdvance(label->text().trimmed());
        if (g.left() + ink > rightBound)
            g.moveLeft(std::max(leftBound, rightBound - ink));
    }
    control->setGeometry(g);
}

void TranslateForms(const QList<QWidget *> &windows, const LanguageFile &table)
{
    for (QWidget *window : windows) {
        if (!window)
            continue;
        const QString section = window->objectName();
        const QString title = table.value(section, section + QLatin1String(".Caption"));
        if (!title.isEmpty())
            window->setWindowTitle(title);
        // Translating a control may replace some of its parts (a label's text document when
        // it is measured): those found before are skipped once gone.
        const QList<QObject *> found = window->findChildren<QObject *>();
        const QList<QPointer<QObject>> components(found.cbegin(), found.cend());
        for (const QPointer<QObject> &component : components) {
            if (component && !component->objectName().isEmpty())
                translateComponent(component, table, section);
        }
    }
}
