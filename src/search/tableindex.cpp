#include "tableindex.h"

#include "codepage.h"
#include "dbf.h"
#include "dbffile.h"
#include "rtfplaintext.h"
#include "rtfreader.h"
#include "textfold.h"

#include <QTextDocument>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// How long after a file's last change its stamp stays untrusted: longer than the coarsest
// modification-time granularity of the file systems a data folder sits on. A file system that
// keeps fractions of a second takes its times from a clock that ticks every few milliseconds;
// trusting it sooner spares a full re-read per keystroke right after a change.
constexpr long long RacyNanoseconds = 1'000'000'000;
constexpr long long FineRacyNanoseconds = 50'000'000;
// Below this many memos, starting threads costs more than it saves.
constexpr std::size_t ParallelThreshold = 64;

// A walk given up because the index is going away.
struct Stopped : std::exception
{
};

// Tells a memo rewritten in place from the one read before. Four lanes of eight bytes go side
// by side, so the multiplications overlap: a first reading hashes every memo of the table.
std::uint64_t bytesHash(std::string_view bytes)
{
    constexpr std::uint64_t K = 0x9E3779B97F4A7C15ull;
    std::uint64_t lane[4] = {K, K ^ 1, K ^ 2, K ^ 3};
    const char *p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 32; n -= 32, p += 32) {
        for (int k = 0; k < 4; ++k) {
            std::uint64_t v;
            std::memcpy(&v, p + 8 * k, 8);
            lane[k] = (lane[k] ^ v) * 0xFF51AFD7ED558CCDull;
            lane[k] ^= lane[k] >> 31;
        }
    }
    std::uint64_t h = bytes.size() * K;
    for (const std::uint64_t l : lane)
        h = (h ^ l) * 0xC4CEB9FE1A85EC53ull;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        h = (h ^ v) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 29;
    }
    for (; n > 0; --n, ++p)
        h = (h ^ static_cast<unsigned char>(*p)) * 0x100000001B3ull;
    return h ^ (h >> 32);
}

long long nowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

// The plain text of RTF memos, for one thread at a time. Most memos are read straight from their
// tokens; a document is built only for the others, and kept for the next: making one costs more
// than reading a short note into it.
class MemoText
{
public:
    QString of(const std::string &bytes)
    {
        if (std::optional<QString> text = m_fast.read(view(bytes)))
            return *std::move(text);
        return fullText(bytes);
    }

    // Appends the folded text of the memo to `folded`, straight from its tokens where it can.
    void fold(const std::string &bytes, std::string &folded)
    {
        const std::size_t start = folded.size();
        FoldingSink sink(*this, folded);
        if (m_fast.read(view(bytes), sink))
            return;
        folded.resize(start);
        TextFold::appendFolded(fullText(bytes), folded);
    }

private:
    class FoldingSink : public RtfPlainText::Sink
    {
    public:
        FoldingSink(MemoText &owner, std::string &folded) : m_owner(owner), m_folded(folded) {}
        void ascii(std::string_view text) override { TextFold::appendFoldedUtf8(text, m_folded); }
        void text(QStringView text) override { TextFold::appendFolded(text, m_folded); }
        void paragraph() override { m_folded += ' '; }
        void singleBytes(std::string_view bytes, const std::array<char16_t, 256> &characters) override
        {
            m_owner.foldsOf(characters).append(bytes, m_folded);
        }

    private:
        MemoText &m_owner;
        std::string &m_folded;
    };

    // The reader keeps one table per code page for as long as it lives, as this does its folds.
    const TextFold::ByteFolds &foldsOf(const std::array<char16_t, 256> &characters)
    {
        for (const auto &[table, folds] : m_folds)
            if (table == &characters)
                return *folds;
        std::array<char32_t, 256> wide{};
        std::copy(characters.begin(), characters.end(), wide.begin());
        return *m_folds.emplace_back(&characters, std::make_unique<TextFold::ByteFolds>(wide)).second;
    }

    static QByteArrayView view(const std::string &bytes)
    {
        return QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    QString fullText(const std::string &bytes)
    {
        if (!m_doc)
            m_doc = std::make_unique<QTextDocument>();
        RtfReader::read(view(bytes), m_doc.get());
        return m_doc->toPlainText();
    }

    RtfPlainText m_fast;
    std::unique_ptr<QTextDocument> m_doc;
    std::vector<std::pair<const std::array<char16_t, 256> *, std::unique_ptr<TextFold::ByteFolds>>> m_folds;
};

// What turning records into words needs, for one thread.
struct TableIndex::Composer
{
    MemoText memos;
    std::string folded;
};

// One record's values as read from the table, before its memos are turned into plain text.
struct TableIndex::RawRecord
{
    std::size_t slot = 0;             // its place in the new record list
    std::vector<std::string> values;  // UTF-8 text, or RTF bytes where rtf[i], ANSI where ansi[i]
    std::vector<bool> rtf;
    std::vector<bool> ansi;
    std::vector<std::uint32_t> words; // numbers of its distinct words, once composed
};

TableIndex::TableIndex(std::string dataDirectory, TableLayout layout,
                       std::shared_ptr<std::atomic<bool>> changed,
                       std::shared_ptr<const std::atomic<bool>> stop)
    : m_tablePath(dataDirectory + layout.tableName), m_memoPath(memoPathOf(m_tablePath)),
      m_layout(std::move(layout)), m_ansi(std::make_unique<TCodePage>(TDbf::ansiCodePage())),
      m_changed(std::move(changed)), m_stop(std::move(stop))
{
    if (m_ansi->singleByte()) {
        std::array<char32_t, 256> characters{};
        for (std::size_t b = 0; b < 256; ++b)
            characters[b] = m_ansi->decodeByte(static_cast<std::uint8_t>(b));
        characters[0] = U' '; // a zero byte is a control character, which folds to a blank
        m_ansiFolds = std::make_unique<TextFold::ByteFolds>(characters);
    }
}

TableIndex::~TableIndex() = default;

TableIndex::Stamp TableIndex::stampOf(const std::string &path, bool readHeader)
{
    Stamp stamp;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return stamp;
    struct stat st{};
    if (::fstat(fd, &st) == 0) {
        stamp.present = true;
        stamp.size = st.st_size;
        stamp.inode = static_cast<long long>(st.st_ino);
        stamp.mtime = st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec;
        const long long window = st.st_mtim.tv_nsec != 0 ? FineRacyNanoseconds : RacyNanoseconds;
        stamp.racy = nowNanoseconds() - stamp.mtime < window;
    }
    if (readHeader)
        stamp.header = dbfChangeStamp(fd);
    ::close(fd);
    return stamp;
}

bool TableIndex::refresh(unsigned threads)
{
    const Stamp table = stampOf(m_tablePath, true);
    const Stamp memo = stampOf(m_memoPath, false);
    const bool ownChange = m_changed->exchange(false);
    const bool tableSame = table == m_tableStamp && !m_tableStamp.racy;
    const bool memoSame = memo == m_memoStamp && !m_memoStamp.racy;
    if (m_scanned && !ownChange && tableSame && memoSame)
        return false;
    if (table.inode != m_tableStamp.inode || memo.inode != m_memoStamp.inode)
        m_dbf.reset(); // the files were replaced: the open ones are stale
    // Stamped before the walk: a change made while it runs shows at the next refresh.
    m_tableStamp = table;
    m_memoStamp = memo;
    m_scanned = true;
    rescan(!memoSame || ownChange, threads);
    return true;
}

void TableIndex::openTable()
{
    if (m_dbf && m_dbf->active())
        return;
    m_fields.clear();
    m_dbf = std::make_unique<TDbf>();
    m_dbf->setReadOnly(true);
    m_dbf->setFilePath(m_tablePath.substr(0, m_tablePath.rfind('/') + 1));
    m_dbf->setTableName(m_layout.tableName);
    m_dbf->open();
    // A field the table lacks reads as empty.
    for (const auto *names : {&m_layout.titleFields, &m_layout.bodyFields})
        for (const std::string &name : *names)
            m_fields.push_back(m_dbf->findField(name));
}

void TableIndex::rescan(bool memosMayHaveChanged, unsigned threads)
{
    std::vector<RawRecord> raw;
    std::vector<IndexedRecord> fresh;
    try {
        if (!m_tableStamp.present) {
            m_dbf.reset();
            m_records.clear();
            return;
        }
        openTable();
        // A first reading on one thread turns each record into words as it goes: holding every
        // memo of the table until the walk ends costs more memory than it saves.
        if (m_records.empty() && threads <= 1) {
            m_words.clear();
            m_wordNumbers.clear();
            // Room for more numbers than the files are likely to give (a number for every eight
            // of their bytes) spares copying the array as it grows; pages never written cost
            // nothing.
            m_wordNumbers.reserve(static_cast<std::size_t>(m_tableStamp.size + m_memoStamp.size) / 8);
            Composer now;
            readRecords(memosMayHaveChanged, raw, fresh, &now);
            m_records = std::move(fresh);
            return;
        }
        readRecords(memosMayHaveChanged, raw, fresh, nullptr);
    } catch (const std::exception &) {
        // A damaged or vanished table finds nothing (nor one whose walk was stopped); the next
        // refresh tries it again.
        m_dbf.reset();
        m_records.clear();
        m_scanned = false;
        return;
    }

    // Words of records no longer kept would only slow the searches down: when every record is
    // read again, the table starts afresh.
    if (raw.size() == fresh.size())
        m_words.clear();
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        Composer composer;
        for (std::size_t i = next++; i < raw.size() && !m_stop->load(std::memory_order_relaxed); i = next++)
            compose(raw[i], fresh[raw[i].slot], composer);
    };
    if (raw.size() < ParallelThreshold || threads <= 1) {
        work();
    } else {
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
        for (std::thread &t : pool)
            t.join();
    }
    if (m_stop->load()) {
        m_records.clear();
        m_scanned = false;
        return;
    }
    gatherWordNumbers(raw, fresh);
    m_records = std::move(fresh);
}

void TableIndex::gatherWordNumbers(std::vector<RawRecord> &raw, std::vector<IndexedRecord> &fresh)
{
    std::vector<std::uint32_t> numbers;
    numbers.reserve(m_wordNumbers.size() + std::accumulate(raw.begin(), raw.end(), std::size_t{0},
                                                             [](std::size_t n, const RawRecord &r) {
                                                                 return n + r.words.size();
                                                             }));
    auto composed = raw.begin(); // in slot order
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        IndexedRecord &record = fresh[i];
        const auto at = static_cast<std::uint32_t>(numbers.size());
        if (composed != raw.end() && composed->slot == i) {
            numbers.insert(numbers.end(), composed->words.begin(), composed->words.end());
            ++composed;
        } else {
            const auto kept = m_wordNumbers.begin() + record.wordsAt;
            numbers.insert(numbers.end(), kept, kept + record.wordCount);
        }
        record.wordsAt = at;
        record.wordCount = static_cast<std::uint32_t>(numbers.size() - at);
    }
    m_wordNumbers = std::move(numbers);
}

void TableIndex::joinTexts(const RawRecord &raw, MemoText &memos, QString &title,
                           QString &body) const
{
    title.clear();
    body.clear();
    const std::size_t titleCount = m_layout.titleFields.size();
    for (std::size_t i = 0; i < raw.values.size(); ++i) {
        const std::string &value = raw.values[i];
        const QString text = (raw.rtf[i]    ? memos.of(value)
                              : raw.ansi[i] ? QString::fromStdString(m_ansi->toUtf8(value))
                                            : QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())))
                                 .trimmed();
        if (i < titleCount) {
            if (!title.isEmpty() && !text.isEmpty())
                title += QLatin1Char(' ');
            title += text;
        } else if (!text.isEmpty()) {
            if (!body.isEmpty())
                body += QStringLiteral(" · ");
            body += text;
        }
    }
}

void TableIndex::compose(RawRecord &raw, IndexedRecord &out, Composer &composer)
{
    foldTexts(raw, composer.memos, out.title, composer.folded);
    raw.values = {};
    raw.words.clear();
    numberWords(composer.folded, raw.words);
}

// The words are those of the title and text that joinTexts() gives: blanks, the separators and
// line breaks alike, only part words.
void TableIndex::foldTexts(const RawRecord &raw, MemoText &memos, QString &title,
                           std::string &folded) const
{
    title.clear();
    folded.clear();
    const std::size_t titleCount = m_layout.titleFields.size();
    for (std::size_t i = 0; i < raw.values.size(); ++i) {
        const std::string &value = raw.values[i];
        if (i < titleCount) {
            const QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())).trimmed();
            if (!title.isEmpty() && !text.isEmpty())
                title += QLatin1Char(' ');
            title += text;
            continue;
        }
        if (i == titleCount)
            TextFold::appendFolded(title, folded);
        folded += ' ';
        if (raw.rtf[i])
            memos.fold(value, folded);
        else if (raw.ansi[i])
            m_ansiFolds->append(value, folded);
        else
            TextFold::appendFoldedUtf8(value, folded);
    }
    if (raw.values.size() <= titleCount)
        TextFold::appendFolded(title, folded);
}

void TableIndex::numberWords(const std::string &folded, std::vector<std::uint32_t> &words)
{
    const std::lock_guard lock(m_wordsLock);
    m_words.addText(folded, words);
}

void TableIndex::readFields(RawRecord &raw, std::string &key) const
{
    raw.values.resize(m_fields.size());
    for (std::string &value : raw.values)
        value.clear(); // its room stays for the next memo
    raw.rtf.assign(m_fields.size(), false);
    raw.ansi.assign(m_fields.size(), false);
    key.clear();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (TDbfField *f = m_fields[i]) {
            if (f->isBlob()) {
                key += std::to_string(f->memoBlock());
            } else {
                raw.values[i] = f->asString();
                key += raw.values[i];
            }
        }
        key += '\x1f';
    }
}

std::uint64_t TableIndex::readMemos(RawRecord &raw) const
{
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        TDbfField *f = m_fields[i];
        if (!f || !f->isBlob())
            continue;
        std::string &value = raw.values[i]; // read into the room the last record's memo left
        f->memoBytes(value);
        hash = hash * 1000003u ^ bytesHash(value);
        raw.rtf[i] = RtfReader::isRtf(QByteArrayView(value.data(), static_cast<qsizetype>(value.size())));
        // Plain text is folded straight from its bytes where the code page has one byte a character.
        raw.ansi[i] = !raw.rtf[i] && m_ansiFolds;
        if (!raw.rtf[i] && !raw.ansi[i])
            value = m_ansi->toUtf8(value);
    }
    return hash;
}

QString TableIndex::body(std::uint32_t recNo)
{
    try {
        if (!m_dbf || !m_dbf->active())
            return {};
        m_dbf->setRecNo(static_cast<int>(recNo));
        if (m_dbf->recNo() != static_cast<int>(recNo))
            return {}; // deleted since the last refresh
        RawRecord raw;
        std::string key;
        readFields(raw, key);
        readMemos(raw);
        if (!m_bodyText)
            m_bodyText = std::make_unique<MemoText>();
        QString title;
        QString text;
        joinTexts(raw, *m_bodyText, title, text);
        return text;
    } catch (const std::exception &) {
        return {};
    }
}

// Walks the live records. A record whose values and memo block numbers are those of the last walk
// keeps its text without reading its memos when the memo file did not change; otherwise its
// memos are read and, when their bytes differ, it goes to `raw` to be composed again. With
// `composeNow` (only when no record was read before) each record is composed at once instead,
// its word numbers appended to m_wordNumbers.
void TableIndex::readRecords(bool memosMayHaveChanged, std::vector<RawRecord> &raw,
                             std::vector<IndexedRecord> &fresh, Composer *composeNow)
{
    TDbf &t = *m_dbf;
    auto old = m_records.begin();
    RawRecord r;
    std::string key;
    for (t.first(); !t.eof(); t.next()) {
        if (m_stop->load(std::memory_order_relaxed))
            throw Stopped();
        const auto recNo = static_cast<std::uint32_t>(t.recNo());
        readFields(r, key);
        while (old != m_records.end() && old->recNo < recNo)
            ++old;
        const bool sameKey = old != m_records.end() && old->recNo == recNo && old->key == key;
        if (sameKey && !memosMayHaveChanged) {
            fresh.push_back(std::move(*old));
            continue;
        }
        const std::uint64_t hash = readMemos(r);
        if (sameKey && old->memoHash == hash) {
            fresh.push_back(std::move(*old));
            continue;
        }
        r.slot = fresh.size();
        IndexedRecord &record = fresh.emplace_back();
        record.recNo = recNo;
        record.key = key;
        record.memoHash = hash;
        if (composeNow) {
            // Every record is new: its numbers go straight after those of the one before, and
            // `r` keeps its buffers for the next.
            foldTexts(r, composeNow->memos, record.title, composeNow->folded);
            record.wordsAt = static_cast<std::uint32_t>(m_wordNumbers.size());
            numberWords(composeNow->folded, m_wordNumbers);
            record.wordCount = static_cast<std::uint32_t>(m_wordNumbers.size() - record.wordsAt);
            continue;
        }
        raw.push_back(std::move(r));
        r = RawRecord{};
    }
}
