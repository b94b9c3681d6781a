// A language file on any bytes: read, applied to a window that has every kind of component the
// translation walks, and its built-in message values decoded.
#include "builtinmessages.h"
#include "formtranslation.h"
#include "fuzzqt.h"
#include "languagefile.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstdint>

namespace {

QWidget *window()
{
    static QWidget *form = [] {
        auto *w = new QWidget;
        w->setObjectName(QStringLiteral("Form1"));
        const auto named = [](QObject *o, const char *name) { o->setObjectName(QLatin1String(name)); };
        named(new QLabel(QStringLiteral("Langue :"), w), "Label3");
        named(new QPushButton(QStringLiteral("OK"), w), "Button1");
        auto *memo = new QPlainTextEdit(QStringLiteral("a\nb\nc"), w);
        named(memo, "Memo1");
        auto *combo = new QComboBox(w);
        combo->addItems({QStringLiteral("x"), QStringLiteral("y")});
        named(combo, "ComboBox1");
        auto *group = new QGroupBox(QStringLiteral("Mise à jour"), w);
        named(group, "RadioGroup1");
        auto *layout = new QVBoxLayout(group);
        for (const char *item : {"un", "deux", "trois"})
            layout->addWidget(new QRadioButton(QLatin1String(item), group));
        return w;
    }();
    return form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::qtApplication();
    const LanguageFile file =
        LanguageFile::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    TranslateForms({window(), nullptr}, file);
    for (const QString &key : file.keys(QStringLiteral("ResourceStrings")))
        (void)DecodeResourceString(file.value(QStringLiteral("ResourceStrings"), key));
    return 0;
}
