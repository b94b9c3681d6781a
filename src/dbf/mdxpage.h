// Bytes of the production index file (.mdx) and its 1024-byte pages.
//
// All numbers are little-endian. The file is counted in blocks of 512 bytes (block n starts at
// byte n x 512); blocks 0-3 hold the file header and the tag table, every page (tag headers
// included) takes two blocks and is addressed by its first block.
//
// File header (blocks 0-3)
//   OFFSET  SIZE  DESCRIPTION
//   0       1     version, 2
//   1       3     creation date: year - 1900, month, day
//   4       16    table file name without extension, NUL-terminated (15 characters at most)
//   20      2     blocks per page, 2
//   22      2     page size in bytes, 1024
//   24      1     1 = production index
//   25      1     tag table entries, 48
//   26      1     tag table entry length, 32
//   28      2     number of tags
//   31      1     language driver byte of the table
//   32      4     next free block
//   44      3     the creation date again
//   508     4     change counter: bumped by every writer under the lock (other programs leave
//                 these bytes alone and ignore them); readers keep their pages while it stays
//   529     1     1
//   544+32i 32    tag table entry i
//
// Tag table entry
//   0       4     block of the tag header
//   4       11    tag name, upper case, NUL-padded (10 characters at most)
//   15      1     0x10, or 0 for a tag made from an expression definition
//   20      1     2
//   21      1     key type letter, "C" or "N"
//
// Tag header (one page)
//   0       4     block of the root page
//   4       4     blocks used by the tag (2 per page, its own header page included)
//   8       1     key flags: 0x08 descending, 0x10 character key, 0x40 unique, 0x60 primary
//   9       1     key type letter
//   12      2     key length
//   14      2     maximum keys per page
//   18      2     key record length (key length + 4, rounded up to a multiple of 4)
//   20      2     2
//   23      1     33 primary, 1 unique, 0 otherwise
//   24      220   key expression, upper case, NUL-terminated
//   244     4     0, 0, 1, 0
//
// Page
//   0       4     number of keys n
//   4       4     unused
//   8+r*i   r     entry i: a 4-byte number, then the key bytes (r = key record length)
// In a leaf the number is the key's physical record number. In a branch it is the block of the
// child holding the keys up to and including the entry's key, and entry n's number leads to the
// child with the greater keys. A page is a branch when n is below the maximum and that extra
// number is not 0, which is why a leaf keeps the number after its last entry at 0.
#pragma once

#include "dbfbytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mdx {

constexpr std::size_t kBlockSize = 512;
constexpr std::size_t kPageSize = 1024;
constexpr std::uint32_t kBlocksPerPage = 2;
constexpr std::size_t kHeaderSize = 2048;
constexpr std::uint32_t kFirstFreeBlock = 4;
constexpr std::uint8_t kVersion = 2;
constexpr std::uint8_t kTagTableEntries = 48;
constexpr std::uint8_t kTagEntryLength = 32;
constexpr std::size_t kTagTableOffset = 544;
constexpr int kMaxTags = 47;
constexpr std::size_t kMaxTagName = 10;
constexpr std::size_t kMaxKeyLength = 100;
constexpr std::size_t kMaxExpression = 219;
constexpr std::size_t kPageEntriesOffset = 8;

constexpr std::uint8_t kFlagDescending = 0x08;
constexpr std::uint8_t kFlagCharacter = 0x10;
constexpr std::uint8_t kFlagUnique = 0x40;
constexpr std::uint8_t kFlagPrimary = 0x60;

// Header fields.
constexpr std::size_t kHdrTableName = 4;
constexpr std::size_t kHdrBlocksPerPage = 20;
constexpr std::size_t kHdrPageSize = 22;
constexpr std::size_t kHdrProduction = 24;
constexpr std::size_t kHdrEntries = 25;
constexpr std::size_t kHdrEntryLength = 26;
constexpr std::size_t kHdrTagCount = 28;
constexpr std::size_t kHdrLanguageDriver = 31;
constexpr std::size_t kHdrNextFree = 32;
constexpr std::size_t kHdrDateAgain = 44;
constexpr std::size_t kHdrChangeCounter = 508;
constexpr std::size_t kHdrOne = 529;

// Tag table entry fields.
constexpr std::size_t kEntryHeaderBlock = 0;
constexpr std::size_t kEntryName = 4;
constexpr std::size_t kEntryNameSize = 11;
constexpr std::size_t kEntryFlag = 15;
constexpr std::size_t kEntryTwo = 20;
constexpr std::size_t kEntryKeyType = 21;

// Tag header fields.
constexpr std::size_t kTagRoot = 0;
constexpr std::size_t kTagBlocks = 4;
constexpr std::size_t kTagFlags = 8;
constexpr std::size_t kTagType = 9;
constexpr std::size_t kTagKeyLength = 12;
constexpr std::size_t kTagMaxKeys = 14;
constexpr std::size_t kTagKeyRecord = 18;
constexpr std::size_t kTagTwo = 20;
constexpr std::size_t kTagUniqueness = 23;
constexpr std::size_t kTagExpression = 24;
constexpr std::size_t kTagTrailer = 244;

using dbfbytes::readLE16;
using dbfbytes::readLE32;
using dbfbytes::writeLE16;
using dbfbytes::writeLE32;

// Key record length and keys per page for a key length.
constexpr std::uint16_t keyRecordLength(std::size_t keyLength)
{
    return static_cast<std::uint16_t>((keyLength + 4 + 3) / 4 * 4);
}
constexpr std::uint16_t maxKeysPerPage(std::size_t keyLength)
{
    return static_cast<std::uint16_t>((kPageSize - kPageEntriesOffset) / keyRecordLength(keyLength));
}

} // namespace mdx

// One page of a tag: the bytes as stored, the block they came from and the geometry of the tag.
// Entry positions are checked by the tree code against keyCount() before they reach here.
class TMdxPage
{
public:
    TMdxPage(std::uint32_t block, std::uint16_t keyRecordLength, std::uint16_t maxKeys)
        : m_block(block), m_recordLength(keyRecordLength), m_maxKeys(maxKeys)
    {
        m_bytes.fill(0);
    }

    std::uint32_t block() const { return m_block; }
    std::uint8_t *data() { return m_bytes.data(); }
    const std::uint8_t *data() const { return m_bytes.data(); }
    std::uint16_t maxKeys() const { return m_maxKeys; }

    std::uint32_t keyCount() const { return mdx::readLE32(m_bytes.data()); }
    void setKeyCount(std::uint32_t n) { mdx::writeLE32(m_bytes.data(), n); }

    // Number of entry i (record number in a leaf, child block in a branch); i may be keyCount()
    // for the number after the last entry while keyCount() is below the maximum.
    std::uint32_t number(std::uint32_t i) const { return mdx::readLE32(entry(i)); }
    void setNumber(std::uint32_t i, std::uint32_t value) { mdx::writeLE32(entry(i), value); }
    const std::uint8_t *key(std::uint32_t i) const { return entry(i) + 4; }
    void setKey(std::uint32_t i, const std::uint8_t *key, std::size_t length)
    {
        std::memcpy(entry(i) + 4, key, length);
    }

    bool isBranch() const { return keyCount() < m_maxKeys && number(keyCount()) != 0; }
    // Full pages are split before a key goes into them; a branch keeps room for its extra number.
    bool isFull() const { return keyCount() >= (isBranch() ? m_maxKeys - 1u : m_maxKeys); }

    // Opens a gap at entry i by moving entries i .. keyCount() - 1 (and, in a branch, the extra
    // number) up by one; the count grows by one.
    void openGap(std::uint32_t i);
    // Removes entry i, moving the later entries down; the count shrinks by one.
    void closeGap(std::uint32_t i);

private:
    std::uint8_t *entry(std::uint32_t i) { return m_bytes.data() + mdx::kPageEntriesOffset + i * m_recordLength; }
    const std::uint8_t *entry(std::uint32_t i) const
    {
        return m_bytes.data() + mdx::kPageEntriesOffset + i * m_recordLength;
    }

    std::array<std::uint8_t, mdx::kPageSize> m_bytes;
    std::uint32_t m_block;
    std::uint16_t m_recordLength;
    std::uint16_t m_maxKeys;
};
