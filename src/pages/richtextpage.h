// Puts a text page's rich-text editor and formatting bar in place.
//
// Page 1 is the to-do page (`PageMemo`): `editor1` at (40, 96), 641 x 265, bound to field "MEMO",
// and `ToolBar2` at (32, 57). Page 2 is the information page (`PageInfos`): `editor2` at
// (88, 128), 593 x 241, bound to "INFOS", and `ToolBar4` at (89, 92). The widgets are children
// of the page; the caller wires both pages' editors and bars to one FormatHandlers.
//
//     RichTextPage memo = placeRichTextPage(PageMemo, 1, DataSource1);
//     RichTextPage infos = placeRichTextPage(PageInfos, 2, DataSource2);
//     FormatTarget target{&activePageMode, &toolbarSyncGuard, memo.editor, infos.editor, memo.bar, infos.bar};
#pragma once

class FormatBar;
class QWidget;
class TDataSource;
class TRxDBRichEdit;

struct RichTextPage
{
    TRxDBRichEdit *editor = nullptr;
    FormatBar *bar = nullptr;
};

RichTextPage placeRichTextPage(QWidget *page, int number, TDataSource *source);
