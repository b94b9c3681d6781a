// The one wrapper around ICU's code page converters, used by the table engine (table text, index
// keys) and by the rich-text reader and writer.
//
// Code pages are Windows numbers. The converter is looked up as "windows-N", then "ibm-N", then
// "cpN" (the first name ICU knows wins; "windows-932" is Shift-JIS as Windows has it, "ibm-932"
// is not), with 28591-28605 as the ISO 8859 pages. A number ICU does not know gives an invalid
// page, which everywhere decodes as Windows-1252 and encodes nothing.
//
//     TIcuCodePage page(850);
//     std::u16string text = page.decode("\x82t\x82", 3);           // u"été"
//     std::optional<std::string> bytes = page.encode(u"\u20AC");    // nothing: 850 has no euro
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct UConverter;
struct UCollator;

namespace icuhandle {
struct CloseConverter
{
    void operator()(UConverter *converter) const noexcept;
};
struct CloseCollator
{
    void operator()(UCollator *collator) const noexcept;
};
} // namespace icuhandle

using TConverterHandle = std::unique_ptr<UConverter, icuhandle::CloseConverter>;
using TCollatorHandle = std::unique_ptr<UCollator, icuhandle::CloseCollator>;

// ICU's converter for Windows code page `number`, or an empty handle when it has none.
TConverterHandle openCodePageConverter(int number);

class TIcuCodePage
{
public:
    static constexpr int kFallback = 1252;

    // Never fails: an unknown number gives an invalid page (see above).
    explicit TIcuCodePage(int number);
    ~TIcuCodePage();
    TIcuCodePage(TIcuCodePage &&) noexcept;
    TIcuCodePage &operator=(TIcuCodePage &&) noexcept;

    int number() const { return m_number; }
    bool valid() const { return m_valid; }
    // One byte per character (also true of the fallback).
    bool singleByte() const { return m_singleByte; }

    // Bytes the page does not map become U+FFFD. Each call starts afresh: a lead byte cut off at
    // the end of one call does not reach into the next.
    std::u16string decode(const char *bytes, std::size_t length) const;
    std::u16string decode(std::string_view bytes) const { return decode(bytes.data(), bytes.size()); }
    // The exact bytes of `text`, or nothing when the page cannot hold one of its characters
    // (no best-fit look-alikes: what is written must read back the same).
    std::optional<std::string> encode(std::u16string_view text) const;
    // As encode, with '?' for each character the page cannot hold.
    std::string encodeLossy(std::u16string_view text) const;

private:
    int m_number;
    bool m_valid = false;
    bool m_singleByte = true;
    TConverterHandle m_decoder; // the page's, or the fallback's
    TConverterHandle m_strict;  // stops at the first character it cannot hold; none when invalid
    TConverterHandle m_lossy;   // substitutes '?'; none when invalid
};
