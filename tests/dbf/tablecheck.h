// Records the soak and crash tests write, and the check of a table against what was committed.
// A record is titled "<id>#<version>" and its memo repeats the title, so a record that mixes two
// versions (a title with another post's memo) shows.
#pragma once

#include "childprocess.h"
#include "dbf.h"
#include "dbftestutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace tablecheck {

inline std::string titleOf(const std::string &id, int version)
{
    return id + "#" + std::to_string(version);
}

// Lengths from a few bytes to three blocks, so edits both fit and outgrow the old blocks. The
// last block keeps at least 8 bytes of filling: dbfread reads 8 bytes past a memo's end.
inline std::string memoOf(const std::string &title)
{
    const std::size_t h = std::hash<std::string>{}(title);
    std::string memo = "{\\rtf1 " + title + "}";
    std::size_t filler = h % 1400;
    while ((8 + memo.size() + filler) % 512 == 0 || (8 + memo.size() + filler) % 512 > 504)
        --filler;
    return memo + std::string(filler, static_cast<char>('a' + h % 26));
}

// A size from the environment (for longer runs by hand), else the default CI runs.
inline int sizeFromEnv(const char *name, int fallback)
{
    const char *v = std::getenv(name);
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : fallback;
}

struct Found
{
    int version;
    std::uint32_t recNo;
};

// Walks memo.dbf in `dir`; every live record must carry its own memo. Returns id -> version and
// physical number, failing the test on a mixed or repeated record.
inline std::map<std::string, Found> liveRecords(const TempDir &dir)
{
    std::map<std::string, Found> found;
    TDbf ds("Dbfmemo");
    openTable(ds, dir, "memo.dbf");
    for (ds.first(); !ds.eof(); ds.next()) {
        const std::string title = ds.fieldByName("TITRE").asString();
        const std::size_t hash = title.find('#');
        EXPECT_NE(hash, std::string::npos) << "record " << ds.recNo() << ": " << title;
        if (hash == std::string::npos)
            continue;
        EXPECT_EQ(ds.fieldByName("MEMO").memoBytes(), memoOf(title))
            << "record " << ds.recNo() << " has the memo of another post";
        const bool fresh = found.emplace(title.substr(0, hash),
                                         Found{std::atoi(title.c_str() + hash + 1),
                                               static_cast<std::uint32_t>(ds.recNo())})
                               .second;
        EXPECT_TRUE(fresh) << "record " << ds.recNo() << " repeats " << title;
    }
    return found;
}

// The header's count after a close equals the records in the file, and the file ends with 0x1A.
inline void expectCountMatchesFile(const TempDir &dir)
{
    const auto b = readBytes(dir.file("memo.dbf"));
    const std::size_t headerLength = le16(b, 8), recordLength = le16(b, 10);
    EXPECT_EQ(le32(b, 4), (b.size() - headerLength) / recordLength) << "header record count";
    EXPECT_EQ((b.size() - headerLength) % recordLength, 1u) << "one end-of-file byte";
    EXPECT_EQ(b.back(), 0x1A);
}

// What dbfreadTitlesAndMemos must print for a table holding the records `live`.
inline std::string dbfreadListing(const std::map<std::string, Found> &live)
{
    std::set<std::string> lines;
    for (const auto &[id, f] : live) {
        const std::string title = titleOf(id, f.version);
        lines.insert(title + "|" + memoOf(title));
    }
    std::string listing = std::to_string(live.size()) + "\n";
    for (const std::string &l : lines)
        listing += l + "\n";
    return listing;
}

} // namespace tablecheck
