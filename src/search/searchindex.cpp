#include "searchindex.h"

#include "dbf.h"
#include "tableindex.h"
#include "textfold.h"
#include "wordtable.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

constexpr std::size_t NotFound = std::string::npos;
// The excerpt: this many characters of context before the first match, this many in all.
constexpr int ExcerptLead = 30;
constexpr int ExcerptLength = 160;

TableLayout layoutOf(SearchIndex::Table table)
{
    switch (table) {
    case SearchIndex::Notes:
        return {"memo.dbf", {"TITRE"}, {"MEMO"}};
    case SearchIndex::Sheets:
        return {"infos.dbf", {"TITRE"}, {"CATEG", "INFOS"}};
    case SearchIndex::Cards:
        return {"adbook.dbf",
                {"PRENOM", "NOM"},
                {"ADRESSE", "CP", "VILLE", "PAYS", "TEL", "FAX", "MOBILE", "EMAIL", "WEB", "NOTES"}};
    }
    return {};
}

std::vector<std::string> queryWords(const QString &query)
{
    return TextFold::splitWords(TextFold::fold(query));
}

// The first place at or after `from` where a word of `folded` begins with `word`.
std::size_t findWord(const std::string &folded, const std::string &word, std::size_t from = 0)
{
    const char *base = folded.data();
    while (from + word.size() <= folded.size()) {
        const void *hit = ::memmem(base + from, folded.size() - from, word.data(), word.size());
        if (!hit)
            return NotFound;
        const auto at = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        if (TextFold::startsWord(folded, at))
            return at;
        from = at + 1;
    }
    return NotFound;
}

// The words of one table in which each query word begins a word, rarest first: a record that
// lacks the rarest is dropped soonest. Empty when some query word is found nowhere in the table.
std::vector<WordTable::Bits> queryBits(const WordTable &table, const std::vector<std::string> &words)
{
    std::vector<WordTable::Bits> bits(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        table.find(words[i], bits[i]);
        if (bits[i].count == 0)
            return {};
    }
    std::sort(bits.begin(), bits.end(),
              [](const WordTable::Bits &a, const WordTable::Bits &b) { return a.count < b.count; });
    return bits;
}

bool holdsAll(std::span<const std::uint32_t> words, const std::vector<WordTable::Bits> &bits)
{
    return std::all_of(bits.begin(), bits.end(), [&](const WordTable::Bits &b) {
        return std::any_of(words.begin(), words.end(), [&](std::uint32_t n) { return b.test(n); });
    });
}

// True when every record that matches `now` also matched `before`: each earlier word is the
// beginning of the word now in its place, as while the user types on.
bool narrows(const std::vector<std::string> &now, const std::vector<std::string> &before)
{
    if (before.empty() || now.size() < before.size())
        return false;
    for (std::size_t i = 0; i < before.size(); ++i)
        if (now[i].compare(0, before[i].size(), before[i]) != 0)
            return false;
    return true;
}

bool isBlank(QChar c)
{
    return c.isSpace() || c == QChar(0x2029) || c == QChar(0x2028);
}

// body[start, end) on one line, runs of blanks made one; map[i] is where body[start + i] landed.
QString oneLine(const QString &body, int start, int end, std::vector<int> &map)
{
    QString line;
    map.assign(static_cast<std::size_t>(end - start + 1), 0);
    for (int i = start; i < end; ++i) {
        map[static_cast<std::size_t>(i - start)] = static_cast<int>(line.size());
        if (!isBlank(body[i]))
            line += body[i];
        else if (!line.isEmpty() && line.back() != QLatin1Char(' '))
            line += QLatin1Char(' ');
    }
    map.back() = static_cast<int>(line.size());
    return line;
}

void mergeRanges(std::vector<std::pair<int, int>> &ranges)
{
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &[start, length] : ranges) {
        if (!merged.empty() && start <= merged.back().first + merged.back().second) {
            const int end = std::max(merged.back().first + merged.back().second, start + length);
            merged.back().second = end - merged.back().first;
        } else {
            merged.emplace_back(start, length);
        }
    }
    ranges = std::move(merged);
}

} // namespace

// The helper's build: its own tables, which nothing else touches until the thread is joined.
struct SearchIndex::Build
{
    Tables tables;
    std::thread thread;
};

SearchIndex::SearchIndex(const QString &dataDirectory, QObject *parent)
    : QObject(parent), m_folder(dataDirectory.toStdString())
{
    for (auto &flag : m_changed)
        flag = std::make_shared<std::atomic<bool>>(false);
}

SearchIndex::~SearchIndex()
{
    // Before QObject's destructor, which drops the handover the helper may have posted.
    if (m_build) {
        m_stop->store(true);
        m_build->thread.join();
    }
}

SearchIndex::Tables SearchIndex::makeTables() const
{
    Tables tables;
    for (int t = 0; t < TableCount; ++t)
        tables[t] = std::make_unique<TableIndex>(m_folder, layoutOf(static_cast<Table>(t)), m_changed[t], m_stop);
    return tables;
}

void SearchIndex::watch(TDbf &programTable, Table table)
{
    // The listener stays with the dataset; once the index is gone it finds its flag gone too.
    std::weak_ptr<std::atomic<bool>> flag = m_changed[table];
    programTable.addDataListener([flag](TDataEvent event, TDbfField *) {
        if (event == TDataEvent::DataSetChange || event == TDataEvent::UpdateState)
            if (auto changed = flag.lock())
                changed->store(true);
    });
}

void SearchIndex::build(Tables &tables, unsigned threads)
{
    if (threads <= 1) {
        for (auto &table : tables)
            table->refresh(1);
        return;
    }
    // Side by side, each table on one thread: a first reading on one thread turns each record
    // into words as it reads it, which costs less than reading all and sharing out the rest.
    std::vector<std::thread> readers;
    for (int t = 1; t < TableCount; ++t)
        readers.emplace_back([&, t] { tables[t]->refresh(1); });
    tables[0]->refresh(1);
    for (std::thread &reader : readers)
        reader.join();
}

void SearchIndex::prepare()
{
    if (m_build || m_tables[0])
        return;
    auto build = std::make_unique<Build>();
    // A keystroke must find a processor free.
    const unsigned threads = std::max(2u, std::thread::hardware_concurrency()) - 1;
    try {
        build->thread = std::thread([this, tables = &build->tables, threads] {
            try {
                *tables = makeTables(); // their code pages' converters are opened here too
                SearchIndex::build(*tables, threads);
            } catch (...) {
                *tables = {}; // the first search builds it again, where its error can be shown
            }
            QMetaObject::invokeMethod(this, &SearchIndex::adoptBuild, Qt::QueuedConnection);
        });
    } catch (const std::system_error &) {
        return; // the first search builds it
    }
    m_build = std::move(build);
}

void SearchIndex::adoptBuild()
{
    if (!m_build)
        return;
    m_build->thread.join();
    m_tables = std::move(m_build->tables);
    m_build.reset();
    forgetLastSearch();
    emit ready();
}

void SearchIndex::forgetLastSearch()
{
    m_lastWords.clear();
    m_lastMatches.clear();
}

void SearchIndex::releaseTables()
{
    adoptBuild();
    for (const auto &table : m_tables)
        if (table)
            table->release();
}

void SearchIndex::refresh()
{
    adoptBuild();
    const unsigned threads = std::min(4u, std::max(1u, std::thread::hardware_concurrency()));
    if (!m_tables[0]) {
        // Just read: checking the files again at once would read every memo twice whenever
        // they changed within the last second.
        m_tables = makeTables();
        build(m_tables, threads);
        forgetLastSearch();
        return;
    }
    bool changed = false;
    for (auto &table : m_tables)
        changed = table->refresh(threads) || changed;
    if (changed)
        forgetLastSearch();
}

int SearchIndex::recordCount()
{
    adoptBuild();
    int count = 0;
    for (const auto &table : m_tables)
        if (table)
            count += static_cast<int>(table->records().size());
    return count;
}

SearchIndex::Result SearchIndex::search(const QString &query, int maxRows)
{
    refresh();
    const std::vector<std::string> words = queryWords(query);
    std::vector<Match> matches;
    if (!words.empty()) {
        const bool narrowing = narrows(words, m_lastWords);
        auto last = m_lastMatches.begin();
        for (int t = 0; t < TableCount; ++t) {
            const TableIndex &table = *m_tables[t];
            const std::vector<IndexedRecord> &records = table.records();
            const std::vector<WordTable::Bits> bits = queryBits(table.words(), words);
            if (narrowing) {
                // The last matches are in table order: this table's are the next ones.
                for (; last != m_lastMatches.end() && last->table == t; ++last)
                    if (!bits.empty() && holdsAll(table.wordsOf(records[last->record]), bits))
                        matches.push_back(*last);
            } else if (!bits.empty()) {
                for (std::size_t i = 0; i < records.size(); ++i)
                    if (holdsAll(table.wordsOf(records[i]), bits))
                        matches.push_back({t, i});
            }
        }
    }
    Result result;
    const std::size_t shown = std::min(matches.size(), static_cast<std::size_t>(std::max(maxRows, 0)));
    for (std::size_t k = 0; k < shown; ++k) {
        const IndexedRecord &r = m_tables[matches[k].table]->records()[matches[k].record];
        Row &row = result.rows.emplace_back();
        row.table = static_cast<Table>(matches[k].table);
        row.recNo = static_cast<int>(r.recNo);
        row.title = r.title;
    }
    result.more = static_cast<int>(matches.size() - shown);
    m_lastWords = words;
    m_lastMatches = std::move(matches);
    return result;
}

// The text from a little before its first match, every match inside it in bold. A record that
// matched only by its title shows the start of its text.
void SearchIndex::describe(Row &row, const QString &query)
{
    row.described = true;
    row.bold.clear();
    if (!m_tables[row.table])
        return;
    const std::vector<std::string> words = queryWords(query);
    const QString body = m_tables[row.table]->body(static_cast<std::uint32_t>(row.recNo));
    std::vector<int> origin;
    const std::string folded = TextFold::fold(body, &origin);
    std::size_t first = NotFound;
    for (const std::string &w : words)
        first = std::min(first, findWord(folded, w));
    const int centre = first == NotFound ? 0 : origin[first];
    int start = std::max(0, centre - ExcerptLead);
    if (start > 0) {
        const int blank = static_cast<int>(body.indexOf(QLatin1Char(' '), start));
        if (blank >= 0 && blank < centre)
            start = blank + 1; // begin with a whole word
    }
    const int end = std::min(static_cast<int>(body.size()), start + ExcerptLength);
    std::vector<int> map;
    const QString line = oneLine(body, start, end, map);
    const QString lead = start > 0 ? QStringLiteral("… ") : QString();
    row.excerpt = lead + line + (end < body.size() ? QStringLiteral(" …") : QString());

    for (const std::string &w : words) {
        for (std::size_t at = findWord(folded, w); at != NotFound; at = findWord(folded, w, at + 1)) {
            const int from = origin[at];
            const int to = origin[at + w.size() - 1] + 1;
            if (from < start || from >= end)
                continue;
            const int a = map[static_cast<std::size_t>(from - start)];
            const int b = map[static_cast<std::size_t>(std::min(to, end) - start)];
            if (b > a)
                row.bold.emplace_back(static_cast<int>(lead.size()) + a, b - a);
        }
    }
    mergeRanges(row.bold);
}
