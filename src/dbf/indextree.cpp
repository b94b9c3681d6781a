// The B-tree of a tag: searching, walking, inserting with top-down splits, deleting, checking.
//
// Positions are paths from the root to a leaf (TIndexPath). Another process may change the tree
// between two steps of a walk, so a step checks, while climbing, that each parent still leads to
// the page it came from, and reports Stale when the tree moved under it; the caller then finds
// its entry again from the root.
//
// Empty leaves are left in place after deletes: the parent's key stays a valid upper bound of
// the leaf, and walks step over them.
#include "indexfile.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

using namespace mdx;

namespace {

// No valid tree of 32-bit record numbers comes near this depth; deeper means a cycle.
constexpr std::size_t kMaxDepth = 32;

bool onPath(const TIndexPath &path, std::uint32_t block)
{
    return std::any_of(path.begin(), path.end(), [block](const TIndexLevel &l) { return l.block == block; });
}

} // namespace

void TIndexFile::refreshRoot(TIndexTag &tag)
{
    tag.rootBlock = readLE32(loadPage(tag, tag.headerBlock, false).data() + kTagRoot);
}

void TIndexFile::prepareSearch(const TIndexTag &tag, const std::uint8_t *key)
{
    if (!m_collation.isBinary())
        m_collation.prepare(key, tag.keyLength, m_searchProbe);
}

// First entry whose key is not smaller than `key` (after = false) or greater than it (after =
// true); keyCount() when there is none.
std::uint32_t TIndexFile::searchPage(const TIndexTag &tag, const TMdxPage &page, const std::uint8_t *key,
                                     const IndexCollation::Probe &probe, bool after) const
{
    std::uint32_t low = 0;
    std::uint32_t high = page.keyCount();
    const bool binary = m_collation.isBinary();
    while (low < high) {
        const std::uint32_t mid = low + (high - low) / 2;
        int order = binary ? compareKeys(tag, page.key(mid), key)
                           : m_collation.compareToProbe(page.key(mid), tag.keyLength, probe);
        if (!binary && tag.descending())
            order = -order;
        if (order < 0 || (after && order == 0))
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

// Appends the levels from the child that path.back() points at (or from the root when path is
// empty) down to a leaf, always taking the first or the last child. The leaf's index is 0 for the
// first edge and keyCount() for the last.
void TIndexFile::descendToEdge(const TIndexTag &tag, TIndexPath &path, bool last)
{
    std::uint32_t block = tag.rootBlock;
    if (!path.empty())
        block = page(tag, path.back().block).number(path.back().index);
    for (;;) {
        if (path.size() >= kMaxDepth || onPath(path, block))
            damaged(block, "the pages of the tree form a cycle");
        const TMdxPage &p = page(tag, block);
        const std::uint32_t n = p.keyCount();
        if (!p.isBranch()) {
            path.push_back({block, last ? n : 0});
            return;
        }
        const std::uint32_t index = last ? n : 0;
        path.push_back({block, index});
        block = p.number(index);
    }
}

// Climbs from the leaf to the nearest level that has a further child in the direction asked,
// takes it and goes down its nearest edge. Checks on the way up that each parent still leads to
// the page below it.
// A walk over empty leaves never visits more pages than the file holds; more means a loop.
bool TIndexFile::walkedTooFar(std::uint64_t steps) const
{
    return steps > 64 && steps > std::max(m_knownSize, m_file.fileSize()) / kPageSize + 2;
}

TIndexFile::Move TIndexFile::climb(const TIndexTag &tag, TIndexPath &path, bool forward)
{
    std::size_t level = path.size() - 1;
    while (level > 0) {
        --level;
        const TMdxPage &parent = page(tag, path[level].block);
        const std::uint32_t index = path[level].index;
        if (!parent.isBranch() || index > parent.keyCount() || parent.number(index) != path[level + 1].block)
            return Move::Stale;
        if (forward ? index < parent.keyCount() : index > 0) {
            path[level].index = forward ? index + 1 : index - 1;
            // Cheap to see here; sharing further apart is caught by read-aheads (TIndexRun).
            if (parent.number(path[level].index) == path[level + 1].block)
                damaged(path[level + 1].block, "two branches lead to this page");
            path.resize(level + 1);
            descendToEdge(tag, path, !forward);
            return Move::Moved;
        }
    }
    const std::uint32_t root = readLE32(loadPage(tag, tag.headerBlock, false).data() + kTagRoot);
    return root == path.front().block ? Move::End : Move::Stale;
}

// Moves path to the first entry at or after its position; path is unchanged unless Moved.
TIndexFile::Move TIndexFile::forwardFrom(const TIndexTag &tag, TIndexPath &path)
{
    TIndexPath &probe = m_probe;
    probe = path;
    for (std::uint64_t i = 0; !walkedTooFar(i); ++i) {
        if (probe.back().index < page(tag, probe.back().block).keyCount()) {
            path.swap(probe);
            return Move::Moved;
        }
        const Move move = climb(tag, probe, true);
        if (move != Move::Moved)
            return move;
    }
    damaged(path.back().block, "the walk does not end");
}

// Moves path to the last entry before its position; path is unchanged unless Moved.
TIndexFile::Move TIndexFile::backwardFrom(const TIndexTag &tag, TIndexPath &path)
{
    TIndexPath &probe = m_probe;
    probe = path;
    for (std::uint64_t i = 0; !walkedTooFar(i); ++i) {
        const std::uint32_t index = std::min(probe.back().index, page(tag, probe.back().block).keyCount());
        if (index > 0) {
            probe.back().index = index - 1;
            path.swap(probe);
            return Move::Moved;
        }
        const Move move = climb(tag, probe, false);
        if (move != Move::Moved)
            return move;
    }
    damaged(path.back().block, "the walk does not end");
}

bool TIndexFile::seekEdge(int tagIndex, Edge edge, TIndexPath &path)
{
    Lock lock(*this);
    TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    refreshRoot(tag);
    TIndexPath probe;
    descendToEdge(tag, probe, edge == Edge::Last);
    const Move move = edge == Edge::First ? forwardFrom(tag, probe) : backwardFrom(tag, probe);
    if (move == Move::Stale)
        damaged(tag.rootBlock, "the tree changed while it was locked");
    path = std::move(probe);
    return move == Move::Moved;
}

bool TIndexFile::seek(int tagIndex, const std::uint8_t *key, std::optional<std::uint32_t> recNo, TIndexPath &path)
{
    Lock lock(*this);
    TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    refreshRoot(tag);
    path.clear();
    prepareSearch(tag, key);
    std::uint32_t block = tag.rootBlock;
    for (;;) {
        if (path.size() >= kMaxDepth || onPath(path, block))
            damaged(block, "the pages of the tree form a cycle");
        const TMdxPage &p = page(tag, block);
        const std::uint32_t index = searchPage(tag, p, key, m_searchProbe, false);
        path.push_back({block, index});
        if (!p.isBranch())
            break;
        block = p.number(index);
    }
    if (forwardFrom(tag, path) != Move::Moved)
        return false;
    if (!recNo)
        return true;
    // Among the equal keys, the one with this record number.
    for (;;) {
        std::vector<std::uint8_t> found;
        const std::uint32_t number = entryAt(tagIndex, path, &found);
        if (compareKeys(tag, found.data(), key) != 0)
            return false;
        if (number == *recNo)
            return true;
        TIndexPath next = path;
        next.back().index++;
        if (forwardFrom(tag, next) != Move::Moved) {
            path.back().index++;
            return false;
        }
        path = std::move(next);
    }
}

bool TIndexFile::step(int tagIndex, TIndexPath &path, bool forward)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    for (int attempt = 0; attempt < 2; ++attempt) {
        TIndexPath probe = path;
        Move move;
        if (forward) {
            probe.back().index++;
            move = forwardFrom(tag, probe);
        } else {
            move = backwardFrom(tag, probe);
        }
        if (move != Move::Stale) {
            if (move == Move::Moved)
                path = std::move(probe);
            return move == Move::Moved;
        }
        // Another process split pages above us: find our entry again from the root.
        std::vector<std::uint8_t> key;
        const std::uint32_t recNo = entryAt(tagIndex, path, &key);
        TIndexPath fresh;
        if (!seek(tagIndex, key.data(), recNo, fresh)) {
            // Our entry is gone; the place it had is the new position.
            if (forward) {
                const bool moved = forwardFrom(tag, fresh) == Move::Moved;
                if (moved)
                    path = std::move(fresh);
                return moved;
            }
            path = std::move(fresh);
            continue;
        }
        path = std::move(fresh);
    }
    damaged(path.back().block, "the tree keeps changing under a locked walk");
}

bool TIndexFile::stillAt(int tagIndex, const TIndexPath &path, const std::uint8_t *key, std::uint32_t recNo)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    if (path.empty())
        return false;
    const TMdxPage &leaf = page(tag, path.back().block);
    const std::uint32_t index = path.back().index;
    return !leaf.isBranch() && index < leaf.keyCount() && leaf.number(index) == recNo &&
           std::equal(key, key + tag.keyLength, leaf.key(index));
}

bool TIndexFile::seekEdge(int tagIndex, Edge edge, TIndexPosition &pos)
{
    Lock lock(*this);
    pos.onEntry = seekEdge(tagIndex, edge, pos.path);
    if (pos.onEntry)
        pos.recNo = entryAt(tagIndex, pos.path, &pos.key);
    return pos.onEntry;
}

bool TIndexFile::seekOrdinal(int tagIndex, std::uint32_t n, TIndexPosition &pos)
{
    Lock lock(*this);
    pos.onEntry = seekOrdinal(tagIndex, n, pos.path);
    if (pos.onEntry)
        pos.recNo = entryAt(tagIndex, pos.path, &pos.key);
    return pos.onEntry;
}

std::uint32_t TIndexFile::entryAt(int tagIndex, const TIndexPath &path, std::vector<std::uint8_t> *key)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    const TMdxPage &leaf = page(tag, path.back().block);
    const std::uint32_t index = path.back().index;
    if (index >= leaf.keyCount())
        damaged(leaf.block(), "a walk stands past the last key of a page");
    if (key)
        key->assign(leaf.key(index), leaf.key(index) + tag.keyLength);
    return leaf.number(index);
}

std::uint32_t TIndexFile::ordinalOf(int tagIndex, const TIndexPath &path)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    TIndexPath probe;
    if (!seekEdge(tagIndex, Edge::First, probe))
        return 0;
    std::uint32_t before = 0;
    // Leaf by leaf: only the counts of the leaves in front of ours are needed.
    while (probe.back().block != path.back().block) {
        const std::uint32_t n = readPage(tag, probe.back().block).keyCount();
        before += n;
        probe.back().index = n;
        if (forwardFrom(tag, probe) != Move::Moved)
            return 0;
    }
    return before + path.back().index + 1;
}

bool TIndexFile::seekOrdinal(int tagIndex, std::uint32_t n, TIndexPath &path)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    TIndexPath probe;
    if (n == 0 || !seekEdge(tagIndex, Edge::First, probe))
        return false;
    std::uint32_t remaining = n - 1;
    for (;;) {
        const std::uint32_t count = readPage(tag, probe.back().block).keyCount();
        if (remaining < count) {
            probe.back().index = remaining;
            path = std::move(probe);
            return true;
        }
        remaining -= count;
        probe.back().index = count;
        if (forwardFrom(tag, probe) != Move::Moved)
            return false;
    }
}

std::vector<std::uint32_t> TIndexFile::recordsInOrder(int tagIndex)
{
    Lock lock(*this);
    std::vector<std::uint32_t> records;
    TIndexPosition from;
    if (!seekEdge(tagIndex, Edge::First, from.path))
        return records;
    from.recNo = entryAt(tagIndex, from.path, &from.key);
    from.onEntry = true;
    records.push_back(from.recNo);
    TIndexRun run;
    for (;;) {
        run.clearEntries();
        readAhead(tagIndex, from, true, 4096, run);
        if (run.entries.empty())
            return records;
        for (const TIndexRun::Entry &e : run.entries)
            records.push_back(e.recNo);
        run.positionAt(run.entries.size() - 1, from);
    }
}

namespace {

// Leaves read under one lock by a read-ahead: long enough to make the lock's cost vanish, short
// enough that a writer waiting for it hardly notices.
constexpr std::size_t kLeavesPerLock = 256;

} // namespace

// Finds where a read-ahead resumes: the entry after `from` in the walk's direction, or, when
// `from` has gone, the first one past its place. False at the end of the tag.
bool TIndexFile::relocate(int tagIndex, const TIndexPosition &from, bool forward, TIndexPath &path)
{
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    path = from.path;
    bool onEntry = from.onEntry && stillAt(tagIndex, path, from.key.data(), from.recNo);
    if (!onEntry)
        onEntry = seek(tagIndex, from.key.data(), from.recNo, path);
    if (onEntry)
        return step(tagIndex, path, forward);
    return (forward ? forwardFrom(tag, path) : backwardFrom(tag, path)) == Move::Moved;
}

// Takes the entries of the leaf at path from its index on, in the walk's direction.
std::uint32_t TIndexFile::collectLeaf(const TIndexTag &tag, const TIndexPath &path, bool forward,
                                      std::size_t wanted, TIndexRun &run)
{
    const std::uint32_t block = path.back().block;
    if (block != run.lastLeaf && !run.leavesSeen.insert(block).second)
        damaged(block, "two branches lead to this page");
    run.lastLeaf = block;
    const TMdxPage &leaf = page(tag, block);
    const auto slot = static_cast<std::uint32_t>(run.pathStart.size());
    run.pathStart.push_back(static_cast<std::uint32_t>(run.levels.size()));
    run.levels.insert(run.levels.end(), path.begin(), path.end());
    const std::uint32_t n = leaf.keyCount();
    const std::uint32_t start = path.back().index;
    const std::uint32_t count = static_cast<std::uint32_t>(
        std::min<std::size_t>(wanted, forward ? (start < n ? n - start : 0) : std::min(start + 1, n)));
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t i = forward ? start + k : std::min(start, n - 1) - k;
        std::memcpy(run.keys.data() + run.entries.size() * tag.keyLength, leaf.key(i), tag.keyLength);
        run.entries.push_back({leaf.number(i), slot, i});
    }
    return n;
}

// Moves from the leaf at path, which holds `count` keys, to the next one that holds any.
TIndexFile::Move TIndexFile::nextLeaf(const TIndexTag &tag, TIndexPath &path, bool forward, std::uint32_t count)
{
    path.back().index = forward ? count : 0;
    return forward ? forwardFrom(tag, path) : backwardFrom(tag, path);
}

void TIndexFile::readAhead(int tagIndex, const TIndexPosition &from, bool forward, std::size_t wanted,
                           TIndexRun &run)
{
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    const std::size_t goal = run.entries.size() + wanted;
    run.keyLength = tag.keyLength;
    run.entries.reserve(goal);
    run.keys.reserve(goal * tag.keyLength); // collectLeaf never takes more than wanted
    TIndexPosition at = from;
    while (run.entries.size() < goal) {
        Lock lock(*this);
        if (run.generation != m_generation) {
            run.leavesSeen.clear(); // the tree moved: leaves may be met again in their new places
            run.generation = m_generation;
        }
        TIndexPath path;
        if (!relocate(tagIndex, at, forward, path))
            return;
        Move move = Move::Moved;
        for (std::size_t leaves = 0; move == Move::Moved && leaves < kLeavesPerLock; ++leaves) {
            const std::uint32_t count = collectLeaf(tag, path, forward, goal - run.entries.size(), run);
            if (run.entries.size() >= goal)
                break;
            move = nextLeaf(tag, path, forward, count);
        }
        if (move == Move::End)
            return;
        // Stale: the levels above the leaf we resumed in had changed; the next round finds its
        // place afresh. Every round takes at least one entry, so the rounds come to an end.
        run.positionAt(run.entries.size() - 1, at);
    }
}

bool TIndexFile::locate(int tagIndex, TIndexPosition &pos)
{
    pos.onEntry = seek(tagIndex, pos.key.data(), pos.recNo, pos.path);
    return pos.onEntry;
}

bool TIndexFile::advance(int tagIndex, TIndexPosition &pos, bool forward)
{
    Lock lock(*this);
    const TIndexTag &tag = m_tags.at(static_cast<std::size_t>(tagIndex));
    TIndexPath path = pos.path;
    bool onEntry = pos.onEntry && stillAt(tagIndex, path, pos.key.data(), pos.recNo);
    if (!onEntry)
        onEntry = seek(tagIndex, pos.key.data(), pos.recNo, path);
    bool moved;
    if (onEntry)
        moved = step(tagIndex, path, forward);
    else
        moved = (forward ? forwardFrom(tag, path) : backwardFrom(tag, path)) == Move::Moved;
    if (!moved)
        return false;
    pos.recNo = entryAt(tagIndex, path, &pos.key);
    pos.path = std::move(path);
    pos.onEntry = true;
    return true;
}
