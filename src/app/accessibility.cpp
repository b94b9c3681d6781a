#include "accessibility.h"

#include "clicklabel.h"
#include "clocklabel.h"
#include "scrollinglabel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <optional>

namespace {

QString withoutMnemonic(QString text)
{
    // "&&" is a shown ampersand; any other "&" marks the mnemonic.
    for (qsizetype i = text.indexOf(u'&'); i >= 0 && i < text.size(); i = text.indexOf(u'&', i + 1))
        text.remove(i, 1);
    return text;
}

// A picture or label that acts when clicked (or, as a Tab stop, on Enter and Space). One that
// nothing listens to only decorates, or shows a text.
class ClickLabelAccessible : public QAccessibleWidget
{
public:
    explicit ClickLabelAccessible(ClickLabel *label) : QAccessibleWidget(label, QAccessible::Button) {}

    QAccessible::Role role() const override
    {
        const auto *label = static_cast<const ClickLabel *>(widget());
        if (label->clickable())
            return QAccessible::Button;
        return label->pixmap().isNull() ? QAccessible::StaticText : QAccessible::Graphic;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        const auto *label = static_cast<const ClickLabel *>(widget());
        if (!label->clickable())
            return label->accessibleName().isEmpty() ? label->text() : label->accessibleName();
        // "X" and "_" say what they do only in their hints.
        for (const QString &name : {label->accessibleName(), label->toolTip()})
            if (!name.isEmpty())
                return name;
        return withoutMnemonic(label->text()).trimmed();
    }
    QStringList actionNames() const override
    {
        return QStringList(pressAction()) << QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (widget()->isEnabled() && static_cast<ClickLabel *>(widget())->clickable())
            emit static_cast<ClickLabel *>(widget())->clicked();
    }
};

class UrlLabelAccessible : public QAccessibleWidget
{
public:
    explicit UrlLabelAccessible(UrlLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        const auto *label = static_cast<const UrlLabel *>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty())
            return label->text();
        if (t == QAccessible::Value)
            return label->url();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return QStringList(pressAction()) << QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action == pressAction())
            static_cast<UrlLabel *>(widget())->openLink();
        else
            QAccessibleWidget::doAction(action);
    }
};

// The confirmation's question, read whole: the band on screen only ever shows part of it.
class ScrollingLabelAccessible : public QAccessibleWidget
{
public:
    explicit ScrollingLabelAccessible(TScrollingLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        const auto *label = static_cast<const TScrollingLabel *>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty())
            return label->caption().trimmed();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *ownControls(const QString &className, QObject *object)
{
    if (className == QLatin1String("ClickLabel"))
        return new ClickLabelAccessible(static_cast<ClickLabel *>(object));
    if (className == QLatin1String("UrlLabel"))
        return new UrlLabelAccessible(static_cast<UrlLabel *>(object));
    if (className == QLatin1String("TScrollingLabel"))
        return new ScrollingLabelAccessible(static_cast<TScrollingLabel *>(object));
    return nullptr;
}

// Whether a control shows no text that Qt would read as its name, so that its hint names it:
// a picture button, or a field whose hint is its placeholder or that masks what is typed.
bool namedByHint(const QWidget *control)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return withoutMnemonic(button->text()).trimmed().isEmpty();
    return qobject_cast<const QLineEdit *>(control) &&
           !qobject_cast<const QComboBox *>(control->parentWidget());
}

// The text of the label that is `control`'s buddy, if one is.
std::optional<QString> buddyText(const QWidget *control)
{
    if (control->parentWidget())
        for (const QLabel *label : control->parentWidget()->findChildren<QLabel *>(Qt::FindDirectChildrenOnly))
            if (label->buddy() == control)
                return label->text();
    return std::nullopt;
}

// Keeps the names of such controls with their hints, whoever sets them: the constructors, a
// language file, a button following its command. A list reads only its own name, not its
// label's: it takes its label's text as it shows (the language cannot change while a list is
// on screen, in a modal window or a popup).
class Names : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if ((type != QEvent::ToolTipChange && type != QEvent::Show) || !watched->isWidgetType())
            return false;
        auto *control = static_cast<QWidget *>(watched);
        if (type == QEvent::Show) {
            if (qobject_cast<QAbstractItemView *>(control))
                if (std::optional<QString> label = buddyText(control))
                    control->setAccessibleName(withoutMnemonic(*label).trimmed());
        } else if (qobject_cast<ClickLabel *>(control)) {
            QAccessibleEvent renamed(control, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&renamed);
        } else if (namedByHint(control)) {
            control->setAccessibleName(control->toolTip());
        }
        return false;
    }
};

} // namespace

void installAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(ownControls);
    qApp->installEventFilter(new Names(qApp));
}
