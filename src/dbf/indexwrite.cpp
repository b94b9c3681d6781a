// Changing a tag's tree: inserting with top-down splits, deleting, and the full structure check.
// The callers hold the file's lock (TIndexFile::Lock) around all of this.
#include "indexfile.h"

#include <algorithm>
#include <unordered_set>

using namespace mdx;

namespace {

constexpr std::size_t kMaxDepth = 32;

} // namespace

// Puts a new root above the old one: no key, only the number leading to the old root.
void TIndexFile::growRoot(TIndexTag &tag, std::uint32_t oldRoot)
{
    TMdxPage root(allocatePage(tag), tag.keyRecordLength, tag.maxKeys);
    root.setKeyCount(0);
    root.setNumber(0, oldRoot);
    writePage(root);
    TMdxPage header = tagHeaderPage(tag);
    writeLE32(header.data() + kTagRoot, root.block());
    writePage(header);
    tag.rootBlock = root.block();
}

// Splits the full page at the end of `path` (its parent, if any, is the level before), whose
// pending insertion position is `pending`. A full root first gets a new root above it. The right
// half goes to a new page; the split page keeps its block and the left half. Writes go new page,
// parent, then the split page, so that a crash half way leaves keys doubled, never lost.
void TIndexFile::splitChild(TIndexTag &tag, TIndexPath &path, std::size_t level, std::uint32_t pending)
{
    TMdxPage page = readPage(tag, path[level].block);
    if (level == 0) {
        growRoot(tag, page.block());
        path.insert(path.begin(), TIndexLevel{tag.rootBlock, 0});
        ++level;
    }
    TMdxPage parent = readPage(tag, path[level - 1].block);
    const std::uint32_t slot = path[level - 1].index;

    const bool branch = page.isBranch();
    const std::uint32_t n = page.keyCount();
    std::uint32_t b = n / 2 + ((branch && n % 2 == 1) ? 1 : 0);
    std::uint32_t c = n - b;
    if (b < c && pending > b) {
        ++b;
        --c;
    } else if (c < b && pending < b) {
        --b;
        ++c;
    }

    TMdxPage right(allocatePage(tag), tag.keyRecordLength, tag.maxKeys);
    std::copy(page.data() + kPageEntriesOffset + b * tag.keyRecordLength,
              page.data() + kPageEntriesOffset + n * tag.keyRecordLength + (branch ? 4 : 0),
              right.data() + kPageEntriesOffset);
    right.setKeyCount(c);
    writePage(right);

    std::vector<std::uint8_t> separator(page.key(b - 1), page.key(b - 1) + tag.keyLength);
    parent.openGap(slot);
    parent.setNumber(slot, page.block());
    parent.setKey(slot, separator.data(), tag.keyLength);
    parent.setNumber(slot + 1, right.block());
    writePage(parent);

    // The left half: a leaf keeps entries 0 .. b-1 with a 0 after them; a branch gives key b-1 to
    // the parent and keeps that entry's child as its extra number.
    const std::uint32_t kept = branch ? b - 1 : b;
    const std::uint32_t extra = branch ? page.number(b - 1) : 0;
    std::fill(page.data() + kPageEntriesOffset + kept * tag.keyRecordLength, page.data() + kPageSize, 0);
    page.setKeyCount(kept);
    if (kept < tag.maxKeys)
        page.setNumber(kept, extra);
    writePage(page);
}

void TIndexFile::insertUnlocked(int tagIndex, const std::uint8_t *key, std::uint32_t recNo, TIndexPath *where)
{
    TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    refreshRoot(tag);
    TIndexPath path;
    path.reserve(8);
    prepareSearch(tag, key);
    std::uint32_t block = tag.rootBlock;
    std::size_t splits = 0;
    for (;;) {
        if (path.size() >= kMaxDepth || std::any_of(path.begin(), path.end(),
                                                    [block](const TIndexLevel &l) { return l.block == block; }))
            damaged(block, "the pages of the tree form a cycle");
        // Valid until the next page is read or written: only the leaf is copied, to be changed.
        const TMdxPage &page = this->page(tag, block);
        const std::uint32_t index = searchPage(tag, page, key, m_searchProbe, true);
        path.push_back({block, index});
        if (page.isFull()) {
            // Top-down: the parent has room, so the split never climbs. Then start again from
            // the root, which now leads into the right half.
            if (++splits > kMaxDepth)
                damaged(block, "a page stays full after it was split");
            splitChild(tag, path, path.size() - 1, index);
            path.clear();
            block = tag.rootBlock;
            continue;
        }
        if (page.isBranch()) {
            block = page.number(index);
            continue;
        }
        TMdxPage leaf = page;
        leaf.openGap(index);
        leaf.setNumber(index, recNo);
        leaf.setKey(index, key, tag.keyLength);
        writePage(leaf);
        m_lastTag = tagIndex;
        m_lastInserted.path = path;
        m_lastInserted.key.assign(key, key + tag.keyLength);
        m_lastInserted.recNo = recNo;
        m_lastInserted.onEntry = true;
        if (where)
            *where = std::move(path);
        return;
    }
}

bool TIndexFile::takeLastInserted(int tagIndex, std::uint32_t recNo, TIndexPosition &pos)
{
    if (m_lastTag != tagIndex || m_lastInserted.recNo != recNo)
        return false;
    m_lastTag = -1;
    pos = std::move(m_lastInserted);
    return true;
}

bool TIndexFile::deleteUnlocked(int tagIndex, const std::uint8_t *key, std::uint32_t recNo)
{
    m_lastTag = -1;
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    TIndexPath path;
    if (!seek(tagIndex, key, recNo, path))
        return false;
    TMdxPage leaf = readPage(tag, path.back().block);
    leaf.closeGap(path.back().index);
    writePage(leaf);
    return true;
}

void TIndexFile::checkStructure(int tagIndex)
{
    Lock lock(*this);
    TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    checkShape(tag, true);
}

// Walks every page of the tag once. Always checks what keeps the engine safe (page numbers in
// the file, counts within the page, one depth for all leaves, no page reached twice); with
// keyOrder also that keys are in order and that branch keys bound their children.
void TIndexFile::checkShape(const TIndexTag &constTag, bool keyOrder)
{
    TIndexTag tag = constTag;
    refreshRoot(tag);
    struct Frame
    {
        std::uint32_t block;
        std::size_t depth;
        std::vector<std::uint8_t> low, high; // bounds from the parent; empty = open
    };
    std::unordered_set<std::uint32_t> seen{tag.headerBlock};
    std::vector<Frame> stack{{tag.rootBlock, 0, {}, {}}};
    std::size_t leafDepth = SIZE_MAX;
    while (!stack.empty()) {
        Frame frame = std::move(stack.back());
        stack.pop_back();
        if (frame.depth >= kMaxDepth || !seen.insert(frame.block).second)
            damaged(frame.block, "a page is reached twice: the pages of the tree form a cycle");
        const TMdxPage page = readPage(tag, frame.block);
        const std::uint32_t n = page.keyCount();
        for (std::uint32_t i = 0; keyOrder && i < n; ++i) {
            const bool belowLow = !frame.low.empty() && compareKeys(tag, page.key(i), frame.low.data()) < 0;
            const bool aboveHigh = !frame.high.empty() && compareKeys(tag, page.key(i), frame.high.data()) > 0;
            const bool unordered = i > 0 && compareKeys(tag, page.key(i - 1), page.key(i)) > 0;
            if (belowLow || aboveHigh || unordered)
                damaged(frame.block, "key " + std::to_string(i) + " is out of order");
        }
        if (!page.isBranch()) {
            if (leafDepth != SIZE_MAX && leafDepth != frame.depth)
                damaged(frame.block, "leaves lie on different levels");
            leafDepth = frame.depth;
            continue;
        }
        for (std::uint32_t i = 0; i <= n; ++i) {
            Frame child{page.number(i), frame.depth + 1, frame.low, frame.high};
            if (keyOrder && i > 0)
                child.low.assign(page.key(i - 1), page.key(i - 1) + tag.keyLength);
            if (keyOrder && i < n)
                child.high.assign(page.key(i), page.key(i) + tag.keyLength);
            stack.push_back(std::move(child));
        }
    }
}
