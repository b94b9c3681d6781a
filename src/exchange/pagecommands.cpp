#include "pagecommands.h"

#include "art.h"
#include "cardbook.h"
#include "notedocument.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QToolButton>

#include <memory>

namespace {

constexpr int kButtonSize = 23;
constexpr int kRightMargin = 6;
// Imports of fewer cards end before a progress bar would be read.
constexpr int kProgressFromCards = 300;
constexpr int kListedInReport = 12;

const char *const kNoteFilters = "Page web (*.html);;Document OpenDocument (*.odt);;PDF (*.pdf);;Texte (*.txt)";
const char *const kCardFilters = "vCard (*.vcf);;CSV (*.csv)";

// The extension of the filter the user chose, when the name typed has none.
QString withExtension(const QString &path, const QString &filter)
{
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    const qsizetype star = filter.indexOf(QLatin1String("*."));
    if (star < 0)
        return path;
    return path + filter.mid(star + 1, filter.indexOf(QLatin1Char(')'), star) - star - 1);
}

bool hasContent(const exchange::ContactCard &card)
{
    for (const QString &v : card.values)
        if (!v.isEmpty())
            return true;
    return false;
}

// Where the file dialogs open: the documents folder when there is one, else home.
QString startFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

PageCommands::PageCommands(Kind kind, int suffix, const QString &dataDirectory, QWidget *page,
                           QWidget *bar, Hooks hooks)
    : QObject(page), m_kind(kind), m_suffix(suffix), m_dataDirectory(dataDirectory), m_page(page),
      m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("PageCommands%1").arg(suffix));
    const QString one = kind == Notes ? QStringLiteral("cette note")
        : kind == Sheets              ? QStringLiteral("cette fiche")
                                      : QStringLiteral("cette adresse");
    const QString all = kind == Notes ? QStringLiteral("toutes les notes")
        : kind == Sheets              ? QStringLiteral("toutes les fiches")
                                      : QStringLiteral("toutes les adresses");
    // Shortcut texts as the French language file spells them; the others spell their own.
    const QString printText = QStringLiteral("Imprimer ") + one;
    const QString exportText = QStringLiteral("Exporter ") + one;
    const QString allText = QStringLiteral("Exporter ") + all;
    m_print = addAction("ActionImprimer", printText, printText + QStringLiteral(" (Ctrl+P)"),
                        QKeySequence::Print);
    m_exportCurrent = addAction("ActionExporter", exportText, exportText + QStringLiteral(" (Ctrl+Maj+E)"),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    m_exportAll = addAction("ActionExporterTout", allText, allText, {});
    connect(m_print, &QAction::triggered, this, &PageCommands::print);
    connect(m_exportCurrent, &QAction::triggered, this, &PageCommands::exportCurrent);
    connect(m_exportAll, &QAction::triggered, this, &PageCommands::exportAll);
    if (kind == Cards) {
        const QString importText = QStringLiteral("Importer des adresses (vCard, CSV)");
        m_import = addAction("ActionImporter", importText, importText + QStringLiteral(" (Ctrl+Maj+I)"),
                             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
        connect(m_import, &QAction::triggered, this, &PageCommands::importCards);
    }

    auto *menu = new QMenu(bar);
    menu->setObjectName(QStringLiteral("MenuEchange%1").arg(suffix));
    menu->addAction(m_print);
    menu->addSeparator();
    menu->addAction(m_exportCurrent);
    menu->addAction(m_exportAll);
    if (m_import)
        menu->addAction(m_import);
    m_button = new QToolButton(bar);
    m_button->setObjectName(QStringLiteral("ToolButtonEchange%1").arg(suffix));
    m_button->setIcon(QIcon(artPixmap(QStringLiteral("rec-exchange"), QSize(16, 16))));
    m_button->setMenu(menu);
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setAutoRaise(true);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setToolTip(m_kind == Cards ? QStringLiteral("Imprimer (Ctrl+P), exporter, importer")
                                         : QStringLiteral("Imprimer (Ctrl+P), exporter"));
    m_button->setGeometry(bar->width() - kButtonSize - kRightMargin, (bar->height() - kButtonSize) / 2,
                          kButtonSize, kButtonSize);
}

QAction *PageCommands::addAction(const char *name, const QString &text, const QString &hint,
                                 const QKeySequence &keys)
{
    auto *action = new QAction(text + QStringLiteral("…"), m_page);
    action->setObjectName(QLatin1String(name) + QString::number(m_suffix));
    action->setToolTip(hint);
    if (!keys.isEmpty()) {
        action->setShortcut(keys);
        // Text fields take no Ctrl+P nor Ctrl+Shift+E/I, so the page's fields all leave them here.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    m_page->addAction(action);
    return action;
}

void PageCommands::showError(const QString &message)
{
    QMessageBox::warning(m_page->window(), QStringLiteral("Velmora"), message);
}

QString PageCommands::askSavePath(const QString &caption, const QString &baseName)
{
    const QString folder = startFolder();
    const bool cards = m_kind == Cards;
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        m_page->window(), caption, folder + QLatin1Char('/') + baseName + (cards ? QLatin1String(".vcf") : QLatin1String(".pdf")),
        QString::fromUtf8(cards ? kCardFilters : kNoteFilters), &filter);
    return path.isEmpty() ? path : withExtension(path, filter);
}

void PageCommands::print()
{
    exchange::NoteDocument doc;
    if (m_kind == Cards) {
        const exchange::ContactCard card = m_hooks.currentCard();
        if (hasContent(card))
            doc.addCard(card, m_hooks.labels());
    } else {
        m_hooks.addCurrent(doc);
    }
    if (doc.sectionCount() == 0) {
        showError(QStringLiteral("Il n'y a rien à imprimer sur cette page."));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(exchange::NoteDocument::localePageSize());
    QPrintPreviewDialog preview(&printer, m_page->window());
    preview.setObjectName(QStringLiteral("ApercuImpression"));
    preview.setWindowTitle(QStringLiteral("Aperçu avant impression"));
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [&doc](QPrinter *p) { doc.print(p); });
    preview.exec();
}

void PageCommands::exportCurrent()
{
    exchange::NoteDocument doc;
    const exchange::ContactCard card = m_kind == Cards ? m_hooks.currentCard() : exchange::ContactCard();
    if (m_kind != Cards)
        m_hooks.addCurrent(doc);
    if (m_kind == Cards ? !hasContent(card) : doc.sectionCount() == 0) {
        showError(QStringLiteral("Il n'y a rien à exporter sur cette page."));
        return;
    }
    const QString path = askSavePath(m_exportCurrent->text().remove(QStringLiteral("…")),
                                     m_kind == Cards ? QStringLiteral("adresse") : QStringLiteral("note"));
    if (path.isEmpty())
        return;
    try {
        if (m_kind == Cards)
            exchange::saveCardFile(path, {card}, m_hooks.labels());
        else
            doc.write(path);
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void PageCommands::exportAll()
{
    const QString path = askSavePath(m_exportAll->text().remove(QStringLiteral("…")),
                                     m_kind == Cards ? QStringLiteral("adresses")
                                         : m_kind == Notes ? QStringLiteral("notes") : QStringLiteral("fiches"));
    if (path.isEmpty())
        return;
    try {
        m_hooks.postPending();
        if (m_kind == Cards) {
            exchange::CardBook book(m_dataDirectory);
            exchange::exportCardFile(book, path, m_hooks.labels());
        } else {
            exchange::exportNoteFile(m_dataDirectory, m_kind == Notes ? exchange::NoteTable::Notes
                                                                      : exchange::NoteTable::Sheets, path);
        }
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void PageCommands::importCards()
{
    const QString path = QFileDialog::getOpenFileName(
        m_page->window(), m_import->text().remove(QStringLiteral("…")),
        startFolder(),
        QStringLiteral("Adresses (*.vcf *.vcard *.csv);;vCard (*.vcf *.vcard);;CSV (*.csv);;Tous les fichiers (*)"));
    if (path.isEmpty())
        return;
    std::unique_ptr<QProgressDialog> progress;
    auto showProgress = [this, &progress](int done, int total) {
        if (total < kProgressFromCards)
            return;
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(QStringLiteral("Importation des adresses…"), QString(),
                                                         0, total, m_page->window());
            progress->setObjectName(QStringLiteral("ProgressionImport"));
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(0);
        }
        progress->setValue(done);
        QApplication::processEvents();
    };
    exchange::ImportReport report;
    try {
        m_hooks.postPending();
        exchange::CardBook book(m_dataDirectory, m_hooks.labels());
        report = exchange::importCardFile(book, path, m_hooks.labels(), showProgress);
    } catch (const std::exception &e) {
        progress.reset();
        showError(QString::fromUtf8(e.what()));
        return;
    }
    progress.reset();
    m_hooks.afterImport();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Velmora"), report.summary(), QMessageBox::Ok,
                    m_page->window());
    box.setObjectName(QStringLiteral("RapportImport"));
    if (!report.intoNotes.isEmpty()) {
        QStringList shown = report.intoNotes.mid(0, kListedInReport);
        if (report.intoNotes.size() > kListedInReport)
            shown << QStringLiteral("… et %1 autres").arg(report.intoNotes.size() - kListedInReport);
        box.setInformativeText(QStringLiteral("Trop longues pour leur champ ou sans champ à elles, ces "
                                              "valeurs sont gardées dans les notes :\n")
                               + shown.join(QLatin1Char('\n')));
        box.setDetailedText(report.intoNotes.join(QLatin1Char('\n')));
    }
    box.exec();
}
