#include "richtextpage.h"

#include "formatbar.h"
#include "rxdbrichedit.h"


RichTextPage placeRichTextPage(QWidget *page, int number, TDataSource *source)
{
    const bool memo = number != 2;
    RichTextPage placed;
    placed.bar = new FormatBar(memo ? 1 : 2, page);
    placed.bar->move(memo ? QPoint(32, 57) : QPoint(89, 92));
    placed.editor = new TRxDBRichEdit(page);
    placed.editor->setObjectName(memo ? QStringLiteral("editor1") : QStringLiteral("editor2"));
    placed.editor->setGeometry(memo ? QRect(40, 96, 641, 265) : QRect(88, 128, 593, 241));
    placed.editor->setDataField(memo ? QStringLiteral("MEMO") : QStringLiteral("INFOS"));
    placed.editor->setDataSource(source);
    return placed;
}
