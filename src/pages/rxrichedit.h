// The rich-text editor (TRxCustomRichEdit) and its format accessors.
//
// A QTextEdit set up as the notes need it: tabs typed as text, word wrap, scroll bars only when
// the text needs them, a selection bar at the left, white background, the selection hidden while
// the editor has no focus. Its document loads from and saves to RTF bytes (plain text when the
// bytes are not RTF). Links are recognised in the visible text as display-only formatting: they
// never reach the stored document. A left or right button pressed and released on the same link
// raises urlClick.
//
// Format changes go through TRxTextAttributes (selection or default format) and
// TRxParaAttributes (paragraphs of the selection). Each asks beginFormatChange() first, which
// the data-bound editor uses to put its table into edit state.
#pragma once

#include <QTextEdit>

#include <memory>
#include <vector>

class TRxCustomRichEdit;

// The four style effects, as a set of bits.
enum TFontStyle : int { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = int;

class TRxTextAttributes
{
public:
    enum Kind { Selection, Default };
    TRxTextAttributes(TRxCustomRichEdit *editor, Kind kind) : m_editor(editor), m_kind(kind) {}

    // The effects of this format. For a selection an effect counts when the whole selection has
    // it; without a selection the format at the caret is read. The default format is that of the
    // text typed next at the caret; it never changes the document's font, which every note shares.
    TFontStyles style() const;
    // Sets all four effects at once to the values in styles.
    void setStyle(TFontStyles styles);
    // Face, size, style and colour from a font (an invalid colour means the automatic colour).
    void assignFromFont(const QFont &font, const QColor &color = QColor());
    // Face, size, style and colour of this format.
    QFont toFont() const;
    QColor color() const;

private:
    QTextCharFormat current() const;
    void apply(const QTextCharFormat &change);

    TRxCustomRichEdit *m_editor;
    Kind m_kind;
};

class TRxParaAttributes
{
public:
    explicit TRxParaAttributes(TRxCustomRichEdit *editor) : m_editor(editor) {}

    // 0 left, 1 right, 2 centre, 3 justified.
    int alignment() const;
    void setAlignment(int alignment);
    // 0 none, 1 bullet; other numbering kinds read as 2.
    int numbering() const;
    // None takes the hanging indent back to 0; a bullet gets at least 10 points of it.
    void setNumbering(int numbering);

private:
    TRxCustomRichEdit *m_editor;
};

class TRxCustomRichEdit : public QTextEdit
{
    Q_OBJECT
public:
    explicit TRxCustomRichEdit(QWidget *parent = nullptr);
    ~TRxCustomRichEdit() override;

    TRxTextAttributes &SelAttributes() { return m_selAttributes; }
    TRxTextAttributes &DefAttributes() { return m_defAttributes; }
    TRxParaAttributes &Paragraph() { return m_paragraph; }
    int selLength() const;

    // Replaces the document: RTF when the bytes are RTF, otherwise plain text in codePage
    // (0: UTF-8 when valid, else Windows-1252). The caret goes to the start.
    void loadDocument(const QByteArray &bytes, int codePage = 0);
    // The whole document as RTF; characters of codePage as \'xx.
    QByteArray saveDocument(int codePage = 1252) const;

    // The recognised links as [start, end) character ranges, in document order.
    struct Link
    {
        int start;
        int end;
        QString text;
    };
    const std::vector<Link> &links() const;
    // The link at a document position, or nullptr.
    const Link *linkAt(int position) const;

    // The request made before a change of format, a cut or a paste; an editor that is not bound
    // to a table always says yes.
    virtual bool beginFormatChange() { return true; }
    virtual bool beginTextChange() { return true; }

    // Clipboard operations of the formatting bar.
    void cutToClipboard();
    void pasteFromClipboard();

    static constexpr int SelectionBarWidth = 8;
    // Dropped files larger than this are not taken as pictures.
    static constexpr qint64 MaxPictureFileBytes = 64 * 1024 * 1024;

signals:
    // OnSelectionChange: the caret or the selection moved.
    void selectionChange(QObject *sender);
    // OnURLClick: a link was clicked with the left or right button.
    void urlClick(QObject *sender, const QString &urlText, Qt::MouseButton button);

protected:
    bool event(QEvent *event) override;
    // With WantTabs, Tab is text whether the note is being edited or only looked at.
    bool focusNextPrevChild(bool next) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    // A copied selection also goes out as RTF, so that its pictures and tables paste whole.
    QMimeData *createMimeDataFromSelection() const override;
    // Pictures, pasted or dropped as files, are kept as PNG (JPEG files keep their bytes).
    void insertFromMimeData(const QMimeData *source) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class TRxTextAttributes;
    friend class TRxParaAttributes;
    void applySettings();
    void linksChanged();
    void findLinks() const;
    void markLinks();
    const Link *linkUnder(const QPoint &viewportPoint) const;
    void selectLineAt(int viewportY);
    static QStringList imageFiles(const QMimeData *source);
    bool insertPictures(const QMimeData *source);
    bool insertRtf(const QMimeData *source);

    TRxTextAttributes m_selAttributes{this, TRxTextAttributes::Selection};
    TRxTextAttributes m_defAttributes{this, TRxTextAttributes::Default};
    TRxParaAttributes m_paragraph{this};
    mutable std::vector<Link> m_links;
    mutable bool m_linksDirty = true;
    mutable Link m_anchor{-1, -1, QString()}; // a link field of an imported document
    bool m_marksPending = false;
    int m_pressedStart = -1;
    int m_pressedEnd = -1;
    Qt::MouseButton m_pressedButton = Qt::NoButton;
};
