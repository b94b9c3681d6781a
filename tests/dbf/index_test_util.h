// Shared pieces of the index tests: the record layout of infos.dbf
// (CATEG C(80), TITRE C(80), INFOS M) and an index file opened over it.
#pragma once

#include "dbf.h"
#include "dbffile.h"
#include "dbftestutil.h"
#include "indexfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace indextest {

constexpr std::size_t kCategOffset = 1;
constexpr std::size_t kTitreOffset = 81;
constexpr std::size_t kInfosOffset = 161;
constexpr std::size_t kRecordLength = 171;

// A live record of infos.dbf with this category and title, padded with spaces.
inline std::vector<std::uint8_t> record(const std::string &title, const std::string &categ = "Divers")
{
    std::vector<std::uint8_t> bytes(kRecordLength, ' ');
    std::copy(categ.begin(), categ.end(), bytes.begin() + kCategOffset);
    std::copy(title.begin(), title.begin() + std::min<std::size_t>(title.size(), 80), bytes.begin() + kTitreOffset);
    std::fill(bytes.begin() + kInfosOffset, bytes.end(), '0');
    return bytes;
}

inline std::vector<std::uint8_t> titleKey(const std::string &title)
{
    const std::vector<std::uint8_t> r = record(title);
    return std::vector<std::uint8_t>(r.begin() + kTitreOffset, r.begin() + kTitreOffset + 80);
}

inline TIndexFile::TableInfo infosTable(std::uint8_t languageDriver = 0x57, int codePage = 1252,
                                        bool dBaseIII = false, TDbfAccess access = TDbfAccess::Shared)
{
    TIndexFile::TableInfo table;
    table.languageDriver = languageDriver;
    table.codePage = codePage;
    table.dBaseIII = dBaseIII;
    table.access = access;
    table.tableName = "infos";
    table.findField = [](const std::string &name) -> std::optional<TIndexField> {
        if (name == "CATEG")
            return TIndexField{kCategOffset, 80, 'C'};
        if (name == "TITRE")
            return TIndexField{kTitreOffset, 80, 'C'};
        if (name == "INFOS")
            return TIndexField{kInfosOffset, 10, 'M'};
        return std::nullopt;
    };
    return table;
}

// The binary rule of a dBase III table: easy to check independently with memcmp.
inline TIndexFile::TableInfo binaryTable()
{
    return infosTable(0, 850, true);
}

inline auto noRecords()
{
    return [](std::uint32_t, std::vector<std::uint8_t> &) {};
}

// An empty infos.dbf without language driver (keys compare as bytes) and its descending TITRE
// tag in infos.mdx, announced by byte 28.
inline void makeInfosTable(const TempDir &dir)
{
    const std::string table = dir.file("infos.dbf");
    createDbfTable(table, 0x83, 0, {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}});
    TIndexFile::create(dir.file("infos.mdx"), binaryTable())->createTag("", "TITRE", ixDescending, 0, noRecords());
    std::vector<std::uint8_t> bytes = readBytes(table);
    bytes[28] = 1;
    writeBytes(table, bytes);
}

// infos.dbf (dBase IV) with these titles in stored order, each sheet's memo "{\rtf1 <title>}"
// when withMemos; titles starting with "*" are stored deleted. With a tag name, infos.mdx holds
// that one tag on TITRE, descending, built over the records as they are, and byte 28 announces it.
inline void makeInfos(const TempDir &dir, const std::vector<std::string> &titles,
                      const std::optional<std::string> &tagName = std::string(),
                      std::uint8_t languageDriver = 0x57, bool withMemos = false)
{
    const std::string table = dir.file("infos.dbf");
    createDbfTable(table, 0x8B, languageDriver, infosSchema());
    {
        TDbf ds("Dbfinfos");
        openTable(ds, dir, "infos.dbf");
        for (const std::string &title : titles) {
            const std::string stored = title[0] == '*' ? title.substr(1) : title;
            ds.insert();
            ds.fieldByName("TITRE").setAsString(stored);
            if (withMemos)
                ds.fieldByName("INFOS").setMemoBytes("{\\rtf1 " + stored + "}");
            ds.post();
        }
    }
    std::vector<std::uint8_t> bytes = readBytes(table);
    const std::size_t headerLength = le16(bytes, TDbfFile::kHeaderLengthAt);
    for (std::size_t i = 0; i < titles.size(); ++i)
        if (titles[i][0] == '*')
            bytes[headerLength + i * kRecordLength] = TDbfFile::kDeleted;
    if (tagName) {
        auto index = TIndexFile::create(dir.file("infos.mdx"),
                                        infosTable(languageDriver, codepage::ofLanguageDriver(languageDriver)));
        index->createTag(*tagName, "TITRE", ixDescending, static_cast<std::uint32_t>(titles.size()),
                         [&](std::uint32_t recNo, std::vector<std::uint8_t> &r) {
                             const auto at = bytes.begin() + static_cast<long>(headerLength + (recNo - 1) * kRecordLength);
                             r.assign(at, at + kRecordLength);
                         });
        bytes[TDbfFile::kIndexFlagAt] = 1;
    }
    writeBytes(table, bytes);
}

// Dbfinfos as the main window sets it up: the TITRE definition, no index name; without
// titleIndex, with no definition, as the table file alone announces its index.
struct Infos : Table
{
    explicit Infos(const TempDir &dir, bool titleIndex = true)
        : Table(dir, "infos.dbf", "Dbfinfos",
                titleIndex ? std::vector{TDbfIndexDef{"", "TITRE", ixDescending}} : std::vector<TDbfIndexDef>{})
    {
    }
    std::vector<std::string> walk() { return titles(); }
    void add(const std::string &title) { append(title); }

    void post(const std::vector<std::string> &titles, bool batch)
    {
        if (batch)
            ds.beginBatch();
        for (const std::string &title : titles)
            add(title);
        if (batch)
            ds.endBatch();
    }

};

struct InfosDataset : Infos
{
    explicit InfosDataset(const TempDir &dir) : Infos(dir, false) {}
};

} // namespace indextest
