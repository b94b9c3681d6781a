// Shared pieces of the index tests: a temporary directory, the record layout of infos.dbf
// (CATEG C(80), TITRE C(80), INFOS M) and an index file opened over it.
#pragma once

#include "dbf.h"
#include "dbffile.h"
#include "indexfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace indextest {

constexpr std::size_t kCategOffset = 1;
constexpr std::size_t kTitreOffset = 81;
constexpr std::size_t kInfosOffset = 161;
constexpr std::size_t kRecordLength = 171;

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/velmora-index-XXXXXX";
        const char *made = mkdtemp(pattern);
        if (made)
            m_path = made;
    }
    ~TempDir()
    {
        if (!m_path.empty())
            std::system(("rm -rf '" + m_path + "'").c_str());
    }
    std::string file(const std::string &name) const { return m_path + "/" + name; }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

inline std::vector<std::uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

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
    std::vector<std::uint8_t> bytes = readFile(table);
    bytes[28] = 1;
    writeFile(table, bytes);
}

// infos.dbf opened through the dataset, as the program opens it.
struct InfosDataset
{
    explicit InfosDataset(const TempDir &dir)
    {
        ds.setFilePath(dir.path() + "/");
        ds.setTableName("infos.dbf");
        ds.open();
    }
    void post(const std::vector<std::string> &titles, bool batch)
    {
        if (batch)
            ds.beginBatch();
        for (const std::string &t : titles) {
            ds.insert();
            ds.fieldByName("TITRE").setAsString(t);
            ds.post();
        }
        if (batch)
            ds.endBatch();
    }
    std::vector<std::string> walk()
    {
        std::vector<std::string> titles;
        for (ds.first(); !ds.eof(); ds.next())
            titles.push_back(ds.fieldByName("TITRE").asString());
        return titles;
    }
    TDbf ds{"Dbfinfos"};
};

} // namespace indextest
