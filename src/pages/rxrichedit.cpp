#include "rxrichedit.h"

#include "readablecolours.h"
#include "rtfformat.h"
#include "rtfpicture.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextList>

namespace {

bool resolvedBold(const QTextCharFormat &format, const QFont &base)
{
    return format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() >= QFont::DemiBold : base.bold();
}

bool resolvedItalic(const QTextCharFormat &format, const QFont &base)
{
    return format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : base.italic();
}

bool resolvedUnderline(const QTextCharFormat &format, const QFont &base)
{
    return format.hasProperty(QTextFormat::TextUnderlineStyle) ? format.fontUnderline() : base.underline();
}

bool resolvedStrikeOut(const QTextCharFormat &format, const QFont &base)
{
    return format.hasProperty(QTextFormat::FontStrikeOut) ? format.fontStrikeOut() : base.strikeOut();
}

TFontStyles stylesOf(const QTextCharFormat &format, const QFont &base)
{
    TFontStyles styles = 0;
    if (resolvedBold(format, base))
        styles |= fsBold;
    if (resolvedItalic(format, base))
        styles |= fsItalic;
    if (resolvedUnderline(format, base))
        styles |= fsUnderline;
    if (resolvedStrikeOut(format, base))
        styles |= fsStrikeOut;
    return styles;
}

int twips(double pixels)
{
    return RtfFormat::pixelsToTwips(pixels);
}

bool isBulletList(const QTextList *list)
{
    const QTextListFormat::Style style = list->format().style();
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
           style == QTextListFormat::ListSquare;
}

// What the control took for a link: an address with a known scheme, or one starting "www.";
// and an e-mail address.
const QRegularExpression &linkPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("(?:\\b(?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):|\\bwww\\.)[^\\s<>\"]+"
                       // A bare e-mail address opens the mail program like a mailto: link.
                       "|\\b[\\w.+-]+@[\\w-]+(?:\\.[\\w-]+)+"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// The clipboard format that carries a selection with its pictures and tables, for this editor and
// for the word processors that paste it.
const QString RtfMimeType = QStringLiteral("text/rtf");

// Registers in to the pictures of from that the image formats of named name: a document's
// pictures live in its resources, which a fragment does not carry.
void copyPictures(const QTextDocument *from, QTextDocument *to, const QTextDocument *named)
{
    for (QTextBlock block = named->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            if (const std::optional<RtfPicture> picture = RtfPictures::find(from, format.toImageFormat()))
                RtfPictures::insertable(to, *picture);
        }
    }
}

} // namespace

// ---- TRxTextAttributes ---------------------------------------------------------------------------

QTextCharFormat TRxTextAttributes::current() const
{
    if (m_kind == Default)
        return m_editor->currentCharFormat();
    const QFont base = m_editor->document()->defaultFont();
    const QTextCursor cursor = m_editor->textCursor();
    if (!cursor.hasSelection())
        return cursor.charFormat();

    // An effect belongs to a selection when every character of it has the effect.
    TFontStyles common = fsBold | fsItalic | fsUnderline | fsStrikeOut;
    QTextCharFormat first;
    bool haveFirst = false;
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    for (QTextBlock block = m_editor->document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() >= end || fragment.position() + fragment.length() <= start)
                continue;
            if (!haveFirst) {
                first = fragment.charFormat();
                haveFirst = true;
            }
            common &= stylesOf(fragment.charFormat(), base);
        }
    }
    if (!haveFirst)
        first = cursor.charFormat();
    first.setFontWeight(common & fsBold ? QFont::Bold : QFont::Normal);
    first.setFontItalic(common & fsItalic);
    first.setFontUnderline(common & fsUnderline);
    first.setFontStrikeOut(common & fsStrikeOut);
    return first;
}

TFontStyles TRxTextAttributes::style() const
{
    return stylesOf(current(), m_editor->document()->defaultFont());
}

void TRxTextAttributes::setStyle(TFontStyles styles)
{
    if (!m_editor->beginFormatChange())
        return;
    QTextCharFormat change;
    change.setFontWeight(styles & fsBold ? QFont::Bold : QFont::Normal);
    change.setFontItalic(styles & fsItalic);
    change.setFontUnderline(styles & fsUnderline);
    change.setFontStrikeOut(styles & fsStrikeOut);
    apply(change);
}

void TRxTextAttributes::assignFromFont(const QFont &font, const QColor &color)
{
    if (!m_editor->beginFormatChange())
        return;
    QTextCharFormat change;
    change.setFontFamilies(QStringList{font.family()});
    if (font.pointSizeF() > 0)
        change.setFontPointSize(font.pointSizeF());
    change.setFontWeight(font.bold() ? QFont::Bold : QFont::Normal);
    change.setFontItalic(font.italic());
    change.setFontUnderline(font.underline());
    change.setFontStrikeOut(font.strikeOut());
    if (color.isValid())
        change.setForeground(color);
    apply(change);
}

void TRxTextAttributes::apply(const QTextCharFormat &change)
{
    if (m_kind == Default) {
        // Only the text typed next takes the format: the document's font is shared by every
        // note the editor shows, and changing it would spread the format into all of them.
        QTextCursor cursor = m_editor->textCursor();
        cursor.clearSelection();
        QTextCharFormat typing = cursor.charFormat();
        typing.merge(change);
        m_editor->setCurrentCharFormat(typing);
        m_editor->viewport()->update();
        return;
    }
    m_editor->mergeCurrentCharFormat(change);
}

QFont TRxTextAttributes::toFont() const
{
    const QTextCharFormat format = current();
    QFont font = m_editor->document()->defaultFont();
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty())
        font.setFamilies(families);
    if (format.hasProperty(QTextFormat::FontPointSize) && format.fontPointSize() > 0)
        font.setPointSizeF(format.fontPointSize());
    const TFontStyles styles = stylesOf(format, m_editor->document()->defaultFont());
    font.setBold(styles & fsBold);
    font.setItalic(styles & fsItalic);
    font.setUnderline(styles & fsUnderline);
    font.setStrikeOut(styles & fsStrikeOut);
    return font;
}

QColor TRxTextAttributes::color() const
{
    const QTextCharFormat format = current();
    if (format.foreground().style() != Qt::NoBrush)
        return format.foreground().color();
    return m_editor->palette().color(QPalette::Text);
}

// ---- TRxParaAttributes ---------------------------------------------------------------------------

int TRxParaAttributes::alignment() const
{
    const Qt::Alignment align = m_editor->textCursor().blockFormat().alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignRight)
        return 1;
    if (align & Qt::AlignHCenter)
        return 2;
    if (align & Qt::AlignJustify)
        return 3;
    return 0;
}

void TRxParaAttributes::setAlignment(int alignment)
{
    if (!m_editor->beginFormatChange())
        return;
    static constexpr Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
    QTextBlockFormat change;
    change.setAlignment(aligns[std::clamp(alignment, 0, 3)]);
    QTextCursor cursor = m_editor->textCursor();
    cursor.mergeBlockFormat(change);
}

int TRxParaAttributes::numbering() const
{
    const QTextList *list = m_editor->textCursor().currentList();
    if (!list)
        return 0;
    return isBulletList(list) ? 1 : 2;
}

void TRxParaAttributes::setNumbering(int numbering)
{
    if (!m_editor->beginFormatChange())
        return;
    QTextDocument *doc = m_editor->document();
    const QTextCursor selection = m_editor->textCursor();
    const QTextBlock last = doc->findBlock(selection.selectionEnd());
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    QTextList *list = nullptr;
    for (QTextBlock block = doc->findBlock(selection.selectionStart()); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        QTextList *own = block.textList();
        // The first line starts at the start indent; the others are offset from it.
        const int offset = own ? format.intProperty(RtfFormat::HangingIndentProperty) : std::max(0, -twips(format.textIndent()));
        const int start = own ? twips(format.leftMargin()) - offset : twips(format.leftMargin()) + twips(format.textIndent());
        const int newOffset = numbering == 0 ? 0 : std::max(offset, RtfFormat::DefaultBulletIndentTwips);
        if (own)
            own->remove(block);
        format = block.blockFormat();
        format.setObjectIndex(-1);
        format.setLeftMargin(RtfFormat::twipsToPixels(start + newOffset));
        format.setTextIndent(numbering == 0 ? RtfFormat::twipsToPixels(0) : 0);
        if (numbering == 0)
            format.clearProperty(RtfFormat::HangingIndentProperty);
        else
            format.setProperty(RtfFormat::HangingIndentProperty, newOffset);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
        if (numbering != 0) {
            const QTextList *previous = block.previous().isValid() ? block.previous().textList() : nullptr;
            if (!list && previous && isBulletList(previous) == (numbering == 1))
                list = const_cast<QTextList *>(previous);
            if (list) {
                list->add(block);
            } else {
                QTextListFormat listFormat;
                listFormat.setStyle(numbering == 1 ? QTextListFormat::ListDisc : QTextListFormat::ListDecimal);
                listFormat.setIndent(0);
                list = cursor.createList(listFormat);
            }
        }
        if (block == last)
            break;
    }
    cursor.endEditBlock();
}

// ---- TRxCustomRichEdit ---------------------------------------------------------------------------

TRxCustomRichEdit::TRxCustomRichEdit(QWidget *parent) : QTextEdit(parent)
{
    applySettings();
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] { emit selectionChange(this); });
    connect(this, &QTextEdit::selectionChanged, this, [this] { emit selectionChange(this); });
    connect(document(), &QTextDocument::contentsChanged, this, &TRxCustomRichEdit::linksChanged);
}

TRxCustomRichEdit::~TRxCustomRichEdit() = default;

void TRxCustomRichEdit::applySettings()
{
    setTabChangesFocus(false); // WantTabs
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    setAcceptRichText(true);
    setReadableColours(this, QPalette::Base, Qt::white);
    QPalette colours = palette();
    // The selection is not shown while the editor has no focus.
    colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText, colours.color(QPalette::Active, QPalette::Text));
    setPalette(colours);
    setViewportMargins(SelectionBarWidth, 0, 0, 0);
    setStyleSheet(QString()); // follow the palette, not a style's own idea of a text field
}

int TRxCustomRichEdit::selLength() const
{
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void TRxCustomRichEdit::loadDocument(const QByteArray &bytes, int codePage)
{
    if (!RtfReader::read(bytes, document()))
        RtfReader::readPlainText(bytes, document(), codePage);
    document()->setModified(false);
    QTextCursor start(document());
    setTextCursor(start);
    ensureCursorVisible();
    markLinks();
}

QByteArray TRxCustomRichEdit::saveDocument(int codePage) const
{
    return RtfWriter::write(document(), codePage);
}

const std::vector<TRxCustomRichEdit::Link> &TRxCustomRichEdit::links() const
{
    findLinks();
    return m_links;
}

const TRxCustomRichEdit::Link *TRxCustomRichEdit::linkAt(int position) const
{
    for (const Link &link : links())
        if (position >= link.start && position < link.end)
            return &link;
    return nullptr;
}

// The document may be in the middle of a change when it reports one: the marks, which hold
// cursors into it, are set again once the event loop is back.
void TRxCustomRichEdit::linksChanged()
{
    m_linksDirty = true;
    if (m_marksPending)
        return;
    m_marksPending = true;
    QMetaObject::invokeMethod(this, &TRxCustomRichEdit::markLinks, Qt::QueuedConnection);
}

void TRxCustomRichEdit::findLinks() const
{
    if (!m_linksDirty)
        return;
    m_linksDirty = false;
    m_links.clear();
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        auto matches = linkPattern().globalMatch(block.text());
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            QString address = match.captured();
            // Sentence punctuation after an address is not part of it.
            while (!address.isEmpty() && QStringLiteral(".,;:!?)]}'").contains(address.back()))
                address.chop(1);
            const int start = block.position() + int(match.capturedStart());
            m_links.push_back(Link{start, start + int(address.size()), address});
        }
    }
}

void TRxCustomRichEdit::markLinks()
{
    m_marksPending = false;
    QList<QTextEdit::ExtraSelection> marks;
    for (const Link &link : links()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(document());
        mark.cursor.setPosition(link.start);
        mark.cursor.setPosition(link.end, QTextCursor::KeepAnchor);
        mark.format.setForeground(QColor(0, 0, 255));
        mark.format.setFontUnderline(true);
        marks.append(mark);
    }
    setExtraSelections(marks);
}

const TRxCustomRichEdit::Link *TRxCustomRichEdit::linkUnder(const QPoint &viewportPoint) const
{
    const QPoint documentPoint = viewportPoint + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int position = document()->documentLayout()->hitTest(documentPoint, Qt::ExactHit);
    if (position < 0)
        return nullptr;
    if (const Link *link = linkAt(position))
        return link;
    // Documents of other programs may hold link fields: their text opens their target.
    const QTextBlock block = document()->findBlock(position);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.contains(position))
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (!format.isAnchor() || format.anchorHref().isEmpty())
            return nullptr;
        m_anchor = Link{fragment.position(), fragment.position() + fragment.length(), format.anchorHref()};
        return &m_anchor;
    }
    return nullptr;
}

// The selection bar is the margin left of the text: a click there selects the whole line. The
// margin lies outside the viewport, so its clicks arrive here and not in mousePressEvent.
bool TRxCustomRichEdit::event(QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && mouse->position().x() < viewport()->x()) {
            selectLineAt(int(mouse->position().y()) - viewport()->y());
            return true;
        }
    }
    return QTextEdit::event(event);
}

bool TRxCustomRichEdit::focusNextPrevChild(bool next)
{
    if (!tabChangesFocus())
        return false;
    return QTextEdit::focusNextPrevChild(next);
}

void TRxCustomRichEdit::selectLineAt(int viewportY)
{
    QTextCursor line = cursorForPosition(QPoint(0, viewportY));
    line.movePosition(QTextCursor::StartOfLine);
    line.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    setTextCursor(line);
}

void TRxCustomRichEdit::mousePressEvent(QMouseEvent *event)
{
    const Link *link = linkUnder(event->position().toPoint());
    if (link && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)) {
        m_pressedStart = link->start;
        m_pressedEnd = link->end;
        m_pressedButton = event->button();
    }
    QTextEdit::mousePressEvent(event);
}

void TRxCustomRichEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    const Link *link = linkUnder(event->position().toPoint());
    const bool same = link && event->button() == m_pressedButton && link->start == m_pressedStart &&
                      link->end == m_pressedEnd;
    const QString text = same ? link->text : QString();
    m_pressedStart = m_pressedEnd = -1;
    m_pressedButton = Qt::NoButton;
    if (same)
        emit urlClick(this, text, event->button());
}

// A right click on a link opens the link; the menu would swallow the button's release. The
// event comes from the viewport, in its coordinates.
void TRxCustomRichEdit::contextMenuEvent(QContextMenuEvent *event)
{
    if (event->reason() == QContextMenuEvent::Mouse && linkUnder(event->pos())) {
        event->accept();
        return;
    }
    QTextEdit::contextMenuEvent(event);
}

bool TRxCustomRichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasFormat(RtfMimeType) || source->hasImage() || !imageFiles(source).isEmpty() ||
           QTextEdit::canInsertFromMimeData(source);
}

QMimeData *TRxCustomRichEdit::createMimeDataFromSelection() const
{
    // Qt's own selection data lists only the formats it makes itself: its contents are copied
    // into a plain one that can carry RTF too.
    const std::unique_ptr<QMimeData> own(QTextEdit::createMimeDataFromSelection());
    auto *data = new QMimeData;
    for (const QString &format : own->formats())
        data->setData(format, own->data(format));
    QTextDocument part;
    part.setDefaultFont(document()->defaultFont());
    QTextCursor(&part).insertFragment(textCursor().selection());
    copyPictures(document(), &part, &part);
    data->setData(RtfMimeType, RtfWriter::write(&part));
    return data;
}

void TRxCustomRichEdit::insertFromMimeData(const QMimeData *source)
{
    if (!beginTextChange())
        return;
    if (insertRtf(source) || insertPictures(source))
        return;
    QTextEdit::insertFromMimeData(source);
}

// RTF on the clipboard, from this editor or a word processor, keeps pictures and tables that
// the HTML of the same selection would lose.
bool TRxCustomRichEdit::insertRtf(const QMimeData *source)
{
    QTextDocument part;
    part.setDefaultFont(document()->defaultFont());
    if (!source->hasFormat(RtfMimeType) || !RtfReader::read(source->data(RtfMimeType), &part))
        return false;
    copyPictures(&part, document(), &part);
    QTextCursor cursor = textCursor();
    cursor.insertFragment(QTextDocumentFragment(&part));
    setTextCursor(cursor);
    return true;
}

// The local files of a drop that are pictures, by their name; their bytes decide later.
QStringList TRxCustomRichEdit::imageFiles(const QMimeData *source)
{
    static const QStringList suffixes{QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("webp")};
    QStringList files;
    if (!source->hasUrls())
        return files;
    for (const QUrl &url : source->urls())
        if (url.isLocalFile() && suffixes.contains(QFileInfo(url.toLocalFile()).suffix().toLower()))
            files << url.toLocalFile();
    return files;
}

// A pasted picture (a screenshot) or dropped picture files go in as pictures, no wider than the
// editor shows. Text that comes with a picture wins: it is what was copied.
bool TRxCustomRichEdit::insertPictures(const QMimeData *source)
{
    const int maxWidth = std::max(16, viewport()->width() - 2 * int(document()->documentMargin()) - 4);
    std::vector<RtfPicture> pictures;
    if (source->hasImage() && !source->hasText()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull())
            pictures.push_back(RtfPictures::fromImage(image, maxWidth));
    }
    for (const QString &path : imageFiles(source)) {
        QFile file(path);
        if (file.size() > MaxPictureFileBytes || !file.open(QIODevice::ReadOnly))
            continue;
        if (std::optional<RtfPicture> picture = RtfPictures::fromFileBytes(file.readAll(), maxWidth))
            pictures.push_back(*picture);
    }
    if (pictures.empty())
        return false;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    for (const RtfPicture &picture : pictures)
        cursor.insertImage(RtfPictures::insertable(document(), picture));
    cursor.endEditBlock();
    setTextCursor(cursor);
    return true;
}

void TRxCustomRichEdit::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
}

void TRxCustomRichEdit::focusOutEvent(QFocusEvent *event)
{
    QTextEdit::focusOutEvent(event);
}

void TRxCustomRichEdit::cutToClipboard()
{
    if (!textCursor().hasSelection())
        return;
    if (!beginTextChange()) {
        QApplication::beep();
        return;
    }
    cut();
}

void TRxCustomRichEdit::pasteFromClipboard()
{
    if (!beginTextChange()) {
        QApplication::beep();
        return;
    }
    paste();
}
