// Compaction: a table rewritten with its live records only, its memo file with the memos those
// records reach, and its production index rebuilt from them.
//
// Files of a compaction of <dir>/<base>.dbf (all in <dir>):
//   <base>.new.dbf, .new.dbt, .new.mdx   the new files, written and flushed beside the old ones
//   <base>.compact                       the marker: the new files to move in place, one extension
//                                        a line, in the order they are moved; written whole
//                                        (through <base>.compact.tmp) once every new file is flushed
//
// States, and who moves between them:
//
//   old files only --compactTable: new files written--> old files + new files (no marker)
//        ^                                                     |
//        | settleCompaction (undo: the new files go)           | compactTable: marker written
//        +-----------------------------------------------------+
//                                                              v
//   new files only <--compactTable or settleCompaction (redo)-- old files + new files + marker
//                      renames the new .dbt, .mdx, then .dbf over the old, then drops the marker
//
// A kill at any moment therefore leaves either the whole old table or, once the marker is there,
// what the next open turns into the whole new one. The .dbf goes last, and the compaction holds
// the in-use lock exclusively on both the old and the new .dbf, so nobody opens a mix meanwhile.
#pragma once

#include "dbferrors.h"

#include <cstdint>
#include <functional>
#include <string>

// Another process has the table open: compaction did nothing.
class ETableInUse : public EDbfError
{
public:
    explicit ETableInUse(const std::string &path)
        : EDbfError("Table \"" + path + "\" is open in another program."), m_path(path)
    {
    }
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
};

struct TCompaction
{
    std::uint64_t sizeBefore = 0; // the table's files together, in bytes
    std::uint64_t sizeAfter = 0;
    std::uint32_t kept = 0;       // records kept (live, and deleted ones asked for)
    std::uint32_t removed = 0;    // deleted records gone
    std::string backup;           // the folder that holds the copy of the old files, or ""
};

// Compacts the table at tablePath. With a backup root, the table's files are first copied into
// <backupRoot>/<yyyy-mm-dd-hhmmss>/ and only the five newest such folders are kept. Throws
// ETableInUse, without touching anything, when another process has the table open; any other
// failure (EDbfError naming the file) leaves the old table as it was. Deleted records for which
// keepDeleted answers true (given their physical number) stay, still deleted, with their memos;
// without it every deleted record goes.
TCompaction compactTable(const std::string &tablePath, const std::string &backupRoot = {},
                         const std::function<bool(std::uint32_t)> &keepDeleted = {});

// True when the files of an interrupted compaction lie beside the table.
bool compactionLeftovers(const std::string &tablePath);
// Finishes (marker present) or undoes (no marker) an interrupted compaction. The caller holds the
// in-use lock exclusively on the file now at tablePath. Throws EDbfError when a file cannot be
// moved or removed.
void settleCompaction(const std::string &tablePath);
