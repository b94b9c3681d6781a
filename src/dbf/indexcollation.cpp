#include "indexcollation.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace {

struct DriverLocale
{
    std::uint8_t driver;
    std::uint32_t lcid;
};

// Language driver byte -> Windows locale identifier; 87 names the platform's default locale, which
// here is one fixed collation for every process (kRootLocale): an index file shared by users with
// different locale settings must be ordered the same way by all of them.
constexpr DriverLocale kDriverLocales[] = {
    {8, 0x406},   {9, 0x413},   {10, 0x413},  {11, 0x40B},  {12, 0x40B},  {13, 0x40C},  {14, 0x40C},
    {15, 0x407},  {16, 0x407},  {17, 0x410},  {18, 0x410},  {19, 0x411},  {20, 0x40A},  {21, 0x41D},
    {22, 0x41D},  {23, 0x414},  {24, 0x40A},  {25, 0x809},  {26, 0x809},  {27, 0x409},  {28, 0xC0C},
    {29, 0xC0C},  {31, 0x405},  {32, 0x405},  {34, 0x40E},  {35, 0x415},  {36, 0x416},  {37, 0x416},
    {38, 0x419},  {55, 0x409},  {77, 0x804},  {78, 0x412},  {79, 0x404},  {80, 0x41E},  {86, 0x411},
    {87, 0},      {88, 0x809},  {89, 0x40A},  {94, 0x407},  {95, 0x414},  {96, 0x414},  {97, 0x407},
    {98, 0x414},  {105, 0x415}, {133, 0x40D}, {134, 0x408}, {135, 0x41B}, {136, 0x41F}, {142, 0x402},
    {155, 0x405}, {156, 0x405},
};

struct LcidName
{
    std::uint32_t lcid;
    const char *name;
};

constexpr LcidName kLcidNames[] = {
    {0x402, "bg_BG"}, {0x404, "zh_TW"}, {0x405, "cs_CZ"}, {0x406, "da_DK"}, {0x407, "de_DE"},
    {0x408, "el_GR"}, {0x409, "en_US"}, {0x40A, "es_ES"}, {0x40B, "fi_FI"}, {0x40C, "fr_FR"},
    {0x40D, "he_IL"}, {0x40E, "hu_HU"}, {0x410, "it_IT"}, {0x411, "ja_JP"}, {0x412, "ko_KR"},
    {0x413, "nl_NL"}, {0x414, "nb_NO"}, {0x415, "pl_PL"}, {0x416, "pt_BR"}, {0x419, "ru_RU"},
    {0x41B, "sk_SK"}, {0x41D, "sv_SE"}, {0x41E, "th_TH"}, {0x41F, "tr_TR"}, {0x804, "zh_CN"},
    {0x809, "en_GB"}, {0xC0C, "fr_CA"},
};

std::string languageOf(const char *locale)
{
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale, language, sizeof language, &status);
    return U_SUCCESS(status) ? std::string(language) : std::string();
}

constexpr const char *kRootLocale = "root";

// A collator for `locale`, or nullptr when ICU only has its root rules for that language (the
// locale is then not installed here).
TCollatorHandle openCollator(const std::string &locale)
{
    UErrorCode status = U_ZERO_ERROR;
    TCollatorHandle collator(ucol_open(locale.c_str(), &status));
    if (U_FAILURE(status))
        return {};
    if (locale != kRootLocale) {
        UErrorCode validStatus = U_ZERO_ERROR;
        const char *valid = ucol_getLocaleByType(collator.get(), ULOC_VALID_LOCALE, &validStatus);
        if (U_FAILURE(validStatus) || !valid || languageOf(valid) != languageOf(locale.c_str()))
            return {};
    }
    ucol_setStrength(collator.get(), UCOL_TERTIARY);
    return collator;
}

} // namespace

IndexCollation::IndexCollation() = default;

IndexCollation::~IndexCollation() = default;
IndexCollation::IndexCollation(IndexCollation &&) noexcept = default;
IndexCollation &IndexCollation::operator=(IndexCollation &&) noexcept = default;

std::optional<std::uint32_t> IndexCollation::localeOfLanguageDriver(std::uint8_t languageDriver)
{
    for (const DriverLocale &entry : kDriverLocales) {
        if (entry.driver == languageDriver)
            return entry.lcid;
    }
    return std::nullopt;
}

std::string IndexCollation::icuLocaleName(std::uint32_t lcid)
{
    if (lcid == 0)
        return kRootLocale;
    for (const LcidName &entry : kLcidNames) {
        if (entry.lcid == lcid)
            return entry.name;
    }
    return {};
}

std::optional<IndexCollation> IndexCollation::forLanguageDriver(std::uint8_t languageDriver,
                                                                int codePage)
{
    const std::optional<std::uint32_t> lcid = localeOfLanguageDriver(languageDriver);
    if (!lcid)
        return std::nullopt;
    IndexCollation result;
    result.m_collator = openCollator(icuLocaleName(*lcid));
    if (!result.m_collator)
        return std::nullopt;
    auto page = std::make_unique<TIcuCodePage>(codePage);
    if (!page->singleByte()) {
        result.m_page = std::move(page);
        return result;
    }
    // Single-byte code pages decode through a table: keys are compared on every step of a search.
    result.m_table = std::make_unique<char16_t[]>(256);
    for (int byte = 0; byte < 256; ++byte) {
        const char in = static_cast<char>(byte);
        const std::u16string out = page->decode(&in, 1);
        result.m_table[byte] = out.size() == 1 ? out[0] : u'\uFFFD';
    }
    return result;
}

std::size_t IndexCollation::decode(const std::uint8_t *key, std::size_t length, char16_t *out) const
{
    std::size_t used = 0;
    while (used < length && key[used] != 0)
        ++used;
    if (m_table) {
        for (std::size_t i = 0; i < used; ++i)
            out[i] = m_table[key[i]];
        return used;
    }
    const std::u16string text = m_page->decode(reinterpret_cast<const char *>(key), used);
    const std::size_t n = std::min(text.size(), 2 * length + 2);
    std::copy(text.begin(), text.begin() + static_cast<long>(n), out);
    return n;
}

namespace {

// Enough for the branch pages of a large tree and the leaves an import is busy with; a small
// table never needs that many, so the table grows as keys miss it.
constexpr std::size_t kFirstSlots = 512;
constexpr std::size_t kMaxSlots = 16384;

} // namespace

int IndexCollation::compare(const std::uint8_t *a, const std::uint8_t *b, std::size_t length) const
{
    if (!m_collator) {
        for (std::size_t i = 0; i < length; ++i) {
            if (a[i] != b[i])
                return a[i] < b[i] ? -1 : 1;
            if (a[i] == 0)
                return 0;
        }
        return 0;
    }
    // The second look-up may take the first one's slot.
    m_left.assign(sortKey(a, length));
    return -compareToSortKey(b, length, m_left);
}

int IndexCollation::compareToSortKey(const std::uint8_t *a, std::size_t length, std::string_view b) const
{
    // Byte order of the sort keys is the collator's order of the keys.
    const int order = sortKey(a, length).compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

std::string_view IndexCollation::sortKey(const std::uint8_t *key, std::size_t length) const
{
    // Only the first bytes reach the collator (makeSortKey).
    length = std::min(length, sizeof Slot::key);
    if (m_slots.empty() || (m_misses > 2 * m_slots.size() && m_slots.size() < kMaxSlots)) {
        // Callers hold copies of earlier results, never references, so the slots may go.
        m_slots = std::vector<Slot>(m_slots.empty() ? kFirstSlots : 2 * m_slots.size());
        m_misses = 0;
    }
    const std::string_view bytes(reinterpret_cast<const char *>(key), length);
    Slot &slot = m_slots[std::hash<std::string_view>{}(bytes) & (m_slots.size() - 1)];
    if (slot.length == length && std::memcmp(slot.key, key, length) == 0)
        return slot.sortKey;
    ++m_misses;
    makeSortKey(key, length, slot.sortKey);
    std::memcpy(slot.key, key, length);
    slot.length = static_cast<std::uint8_t>(length);
    return slot.sortKey;
}

void IndexCollation::makeSortKey(const std::uint8_t *key, std::size_t length, std::string &out) const
{
    // Keys are at most 100 bytes; a byte never decodes to more than two UTF-16 units.
    char16_t text[2 * 128 + 2];
    const std::size_t textLength = decode(key, length < 128 ? length : 128, text);
    out.resize(64 + 4 * textLength);
    for (;;) {
        const int32_t need = ucol_getSortKey(m_collator.get(), reinterpret_cast<const UChar *>(text),
                                             static_cast<int32_t>(textLength),
                                             reinterpret_cast<uint8_t *>(out.data()),
                                             static_cast<int32_t>(out.size()));
        if (need <= static_cast<int32_t>(out.size())) {
            out.resize(need > 0 ? static_cast<std::size_t>(need) : 0);
            return;
        }
        out.resize(static_cast<std::size_t>(need));
    }
}
