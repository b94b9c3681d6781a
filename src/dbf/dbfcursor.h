// Cursors: where a dataset stands in its table.
//
// The dataset asks its cursor to step and then reads the record at the cursor's physical record
// number, unless the cursor read it ahead with the step (takeReadAhead). The physical cursor walks record
// numbers; an index cursor (TIndexCursor, in the index module) walks the keys of a tag and reports
// the record number of the key it stands on.
#pragma once

#include <cstdint>

class TDbfFile;

class TVirtualCursor
{
public:
    virtual ~TVirtualCursor() = default;

    virtual void first() = 0; // before the first record of the order
    virtual void last() = 0;  // after the last
    virtual bool next() = 0;  // false when it ran off the end
    virtual bool prior() = 0; // false when it ran off the beginning
    // Physical record number at the position (may lie outside 1..count: no record there).
    virtual std::uint32_t physicalRecNo() const = 0;
    virtual void setPhysicalRecNo(std::uint32_t n) = 0;
    virtual std::uint32_t sequentialRecNo() const = 0;
    virtual void setSequentialRecNo(std::uint32_t n) = 0;
    // The dataset appended record n. An index cursor stands on its key so that the new record
    // becomes current; the physical cursor stays where it is.
    virtual void recordAppended(std::uint32_t n) { (void)n; }
    // Stands on record n, just appended from `record`, without reading it back.
    virtual void standOnAppended(std::uint32_t n, const std::uint8_t *record)
    {
        (void)record;
        setPhysicalRecNo(n);
    }
    // True when the cursor stands on the record appended last (see recordAppended).
    virtual bool followsAppend() const { return false; }
    // Record n, when the cursor read it ahead with the step that reached it: copied to `record`
    // once. False when it holds none; the dataset then reads the table.
    virtual bool takeReadAhead(std::uint32_t n, std::uint8_t *record)
    {
        (void)n;
        (void)record;
        return false;
    }
};

// The physical cursor: position 0 is before the first record, count + 1 after the last. The
// count is read again from the file size whenever the cursor reaches it, so records appended by
// another program are reached without reopening.
class TDbfCursor : public TVirtualCursor
{
public:
    explicit TDbfCursor(const TDbfFile &file) : m_file(file) {}

    void first() override { m_position = 0; }
    void last() override;
    bool next() override;
    bool prior() override;
    std::uint32_t physicalRecNo() const override { return m_position; }
    void setPhysicalRecNo(std::uint32_t n) override { m_position = n; }
    std::uint32_t sequentialRecNo() const override { return m_position; }
    void setSequentialRecNo(std::uint32_t n) override { m_position = n; }

private:
    const TDbfFile &m_file;
    std::uint32_t m_position = 0;
};
