// Shared helpers of the table engine tests: a temporary directory and whole-file access.
#pragma once

#include "dbf.h"
#include "dbffile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// A fresh directory below parent, removed with everything in it at the end; its path ends in "/".
// Throws when it cannot be made, so that no test ever writes to, or removes, the parent itself.
class TempDir
{
public:
    explicit TempDir(const std::string &parent = "/tmp")
    {
        std::string pattern = parent + "/velmora-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("Cannot make a temporary directory in " + parent + ": " +
                                     std::strerror(errno));
        m_path = pattern + "/";
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }
    std::string file(const std::string &name) const { return m_path + name; }

private:
    std::string m_path;
};

inline std::vector<std::uint8_t> readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::string bytesAt(const std::vector<std::uint8_t> &bytes, std::size_t off, std::size_t n)
{
    return std::string(bytes.begin() + static_cast<long>(off),
                       bytes.begin() + static_cast<long>(off + n));
}

inline std::uint32_t le32(const std::vector<std::uint8_t> &b, std::size_t off)
{
    return b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

inline std::uint16_t le16(const std::vector<std::uint8_t> &b, std::size_t off)
{
    return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

// Opens `table` of `dir` through the dataset, as the pages open their tables.
inline void openTable(TDbf &ds, const TempDir &dir, const std::string &table)
{
    ds.setFilePath(dir.path());
    ds.setTableName(table);
    ds.open();
}

// The schemas of the shipped tables.
inline std::vector<TDbfCreateField> memoSchema()
{
    return {{"TITRE", 'C', 80}, {"MEMO", 'M', 10}};
}

inline std::vector<TDbfCreateField> infosSchema()
{
    return {{"CATEG", 'C', 80}, {"TITRE", 'C', 80}, {"INFOS", 'M', 10}};
}

inline std::vector<TDbfCreateField> adbookSchema()
{
    return {{"PRENOM", 'C', 35}, {"NOM", 'C', 35},    {"ADRESSE", 'C', 120}, {"VILLE", 'C', 40},
            {"CP", 'C', 8},      {"PAYS", 'C', 40},   {"TEL", 'C', 20},      {"FAX", 'C', 20},
            {"NOTES", 'M', 10},  {"EMAIL", 'C', 120}, {"WEB", 'C', 120},     {"MOBILE", 'C', 20}};
}

// Makes a new, empty memo table in `dir`; gives `dir` back, for a helper that opens it.
inline const TempDir &withMemoTable(const TempDir &dir)
{
    createDbfTable(dir.file("memo.dbf"), 0x8B, 0x57, memoSchema());
    return dir;
}

// A dataset open on the memo table (or `name`) of `dir` with these index definitions, appending
// notes and reading their titles.
struct Table
{
    explicit Table(const TempDir &dir, const std::string &name = "memo.dbf", const char *dataset = "Dbfmemo",
                   const std::vector<TDbfIndexDef> &indexes = {})
        : ds(dataset)
    {
        ds.indexes() = indexes;
        openTable(ds, dir, name);
    }
    void append(const std::string &title, const std::string &memo = {})
    {
        ds.insert();
        ds.fieldByName("TITRE").setAsString(title);
        if (!memo.empty())
            ds.fieldByName("MEMO").setMemoBytes(memo);
        ds.post();
    }
    std::vector<std::string> titles()
    {
        std::vector<std::string> out;
        for (ds.first(); !ds.eof(); ds.next())
            out.push_back(ds.fieldByName("TITRE").asString());
        return out;
    }
    TDbf ds;
};

// Today's date as the header stores it (year - 1900, month, day).
inline std::vector<std::uint8_t> todayBytes()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {static_cast<std::uint8_t>(local.tm_year % 256), static_cast<std::uint8_t>(local.tm_mon + 1),
            static_cast<std::uint8_t>(local.tm_mday)};
}
