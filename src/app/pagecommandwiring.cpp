#include "pagecommandwiring.h"

#include "addresspage.h"
#include "dblineedit.h"
#include "dbmemo.h"
#include "infospage.h"
#include "notedocument.h"
#include "pagecommands.h"
#include "recordbar.h"
#include "rxdbrichedit.h"
#include "todopage.h"

#include <QLabel>
#include <QRegularExpression>

namespace {

// The labels of the address book's fields, as translated: "Ville  : " is "Ville".
exchange::CardLabels cardLabels(const AddressPage *page)
{
    static const char *const labelNames[] = {"Label12", "Label13", "Label14", "Label15",
                                             "Label16", "Label17", "Label18", "Label19",
                                             "Label20", "Label21", "Label22"};
    exchange::CardLabels labels = exchange::defaultCardLabels();
    static const QRegularExpression trailing(QStringLiteral("[\\s:]+$"));
    for (int f = 0; f < exchange::Notes; ++f)
        if (const auto *label = page->findChild<QLabel *>(QLatin1String(labelNames[f])))
            if (const QString text = label->text().remove(trailing).trimmed(); !text.isEmpty())
                labels[f] = text;
    return labels;
}

exchange::ContactCard shownCard(const AddressPage *page)
{
    exchange::ContactCard card;
    for (int f = 0; f < exchange::Notes; ++f)
        if (const DBLineEdit *edit = page->fieldEdit(QLatin1String(exchange::CardFieldNames[f])))
            card.values[f] = edit->text().trimmed();
    card[exchange::Notes] = page->DBMemo1()->toPlainText();
    return card;
}

void addShown(exchange::NoteDocument &doc, const QString &title, const QString &category, const QTextDocument *body)
{
    if (title.trimmed().isEmpty() && category.trimmed().isEmpty() && body->isEmpty())
        return;
    doc.addSection(title, category, body);
}

} // namespace

void attachPageCommands(const QString &dataDirectory, TodoPage *todo)
{
    PageCommands::Hooks notes;
    notes.postPending = [todo] { todo->postPendingEdit(); };
    notes.addCurrent = [todo](exchange::NoteDocument &doc) {
        addShown(doc, todo->DBEdit1()->text(), {}, todo->editor1()->document());
    };
    new PageCommands(PageCommands::Notes, 1, dataDirectory, todo, todo->ToolBar1(), notes);
}

void attachPageCommands(const QString &dataDirectory, InfosPage *infos)
{
    PageCommands::Hooks sheets;
    sheets.postPending = [infos] { infos->postPendingEdit(); };
    sheets.addCurrent = [infos](exchange::NoteDocument &doc) {
        addShown(doc, infos->DBEdit2()->text(), infos->DBEdit3()->text(), infos->editor2()->document());
    };
    new PageCommands(PageCommands::Sheets, 2, dataDirectory, infos, infos->ToolBar3(), sheets);
}

void attachPageCommands(const QString &dataDirectory, AddressPage *addresses)
{
    PageCommands::Hooks cards;
    cards.postPending = [addresses] { addresses->postPendingEdit(); };
    cards.currentCard = [addresses] { return shownCard(addresses); };
    cards.labels = [addresses] { return cardLabels(addresses); };
    cards.afterImport = [addresses] { addresses->RebuildNameList(); };
    new PageCommands(PageCommands::Cards, 3, dataDirectory, addresses, addresses->ToolBar5(), cards);
}
