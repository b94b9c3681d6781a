// The memo file (.dbt): block 0 is the header, memos run over consecutive blocks.
//
// Header (little-endian):
//   OFFSET SIZE DESCRIPTION
//        0    4 next free block
//       16    1 version (3 in a dBase III memo file; never changed here)
//       20    2 block size (dBase IV and later; 0 or not a multiple of 128 means 512)
// Memo styles, chosen by the table's version byte (0x83: terminator, 0x8B and later: length):
//   terminator (dBase III)   text from byte 0 of the first block up to the pair 0x1A 0x1A
//   length-prefixed (others) FF FF 08 00, then dword 8 + length, then the text
// A first block without FF FF 08 00 is read in the terminator style whatever the level.
//
// Every memo written is appended: the blocks of the text it replaces stay as they were, so a
// reader holding the old block number still reads the old text. Appending locks the header block
// (real bytes) and re-reads it under that lock. A batch holds that lock from beginBatch to
// endBatch, appends without re-reading and writes the header once, at the end.
#pragma once

#include "pagedfile.h"

#include <cstdint>
#include <string>

class TDbtFile : public TPagedFile
{
public:
    static constexpr std::uint32_t kDefaultBlockSize = 512;
    // The largest memo text written, and so the most a read ever takes: a damaged file must not
    // make one memo fill the memory.
    static constexpr std::size_t kMaxMemoBytes = std::size_t(256) << 20;

    // Opens the memo file with the table's access mode and memo style (terminator style: 512-byte
    // blocks whatever the header says). Throws like TPagedFile::openFile.
    void open(const std::string &path, TDbfAccess access, bool terminatorStyle);
    void close() { closeFile(); }

    std::uint32_t blockSize() const { return unitSize(); }
    bool terminatorStyle() const { return m_terminatorStyle; }

    // The stored bytes of the memo starting at `block` (untranslated). Block 0 gives the empty
    // text. A block past the end of the file, a length running past the end, a text without its
    // end mark before the end, or one longer than kMaxMemoBytes give what the file holds up to
    // there, never more, and set *whole to false (true otherwise).
    std::string read(std::uint32_t block, bool *whole = nullptr) const;
    // The same bytes into `text`, whose room is kept for the next read: a walk over many memos
    // then allocates nothing for most of them.
    void read(std::uint32_t block, std::string &text, bool *whole = nullptr) const;
    // Appends `bytes` (already in the table's code page) as a new memo; returns its start block
    // (0 for empty text, which takes none). A text longer than kMaxMemoBytes is refused with
    // EDbfError before anything is written.
    std::uint32_t write(const std::string &bytes);

    std::uint32_t nextFreeBlock() const;

    // Throws EDbfError when the header cannot be locked; endBatch always lets it go.
    void beginBatch();
    void endBatch();

private:
    std::uint32_t allocate(std::uint32_t blocks);

    bool m_terminatorStyle = false;
    bool m_inBatch = false;
    bool m_batchAppended = false;
};
