#include "indexcollation.h"

#include "codepage.h"
#include "dbferrors.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

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

struct IndexCollation::Collator
{
    std::string locale;
    std::once_flag opened;
    TCollatorHandle handle;
};

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
    result.m_collator = std::make_unique<Collator>();
    result.m_collator->locale = icuLocaleName(*lcid);
    // Only a locale's own rules may be missing here; they are looked for at once, so that an index
    // ordered by them is known to be unusable when it opens.
    if (result.m_collator->locale != kRootLocale) {
        std::call_once(result.m_collator->opened, [&c = *result.m_collator] { c.handle = openCollator(c.locale); });
        if (!result.m_collator->handle)
            return std::nullopt;
    }
    // Single-byte code pages decode through a table: keys are compared on every step of a search.
    result.m_table = std::make_unique<char16_t[]>(256);
    if (const std::array<char16_t, 256> *known = codepage::builtInDecoding(codePage)) {
        std::copy(known->begin(), known->end(), result.m_table.get());
    } else {
        auto page = std::make_unique<TIcuCodePage>(codePage);
        if (!page->singleByte()) {
            result.m_table.reset();
            result.m_page = std::move(page);
            return result;
        }
        for (int byte = 0; byte < 256; ++byte) {
            const char in = static_cast<char>(byte);
            const std::u16string out = page->decode(&in, 1);
            result.m_table[byte] = out.size() == 1 ? out[0] : u'\uFFFD';
        }
    }
    result.m_asciiAsIs = true;
    for (int byte = 1; byte < 0x80; ++byte)
        result.m_asciiAsIs = result.m_asciiAsIs && result.m_table[byte] == static_cast<char16_t>(byte);
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

// Keys are at most 100 bytes; only the first 128 reach the collator, and a byte never decodes to
// more than two UTF-16 units.
constexpr std::size_t kDecodedBytes = 128;
constexpr std::size_t kDecodedUnits = 2 * kDecodedBytes + 2;

} // namespace

// The collator compares the two texts directly: it stops at the first difference that decides,
// where a sort key would weigh every character of both keys, the padding included, on every
// level. Its order is the order of its sort keys.
const UCollator *IndexCollation::collator() const
{
    Collator &c = *m_collator;
    std::call_once(c.opened, [&c] { c.handle = openCollator(c.locale); });
    if (!c.handle)
        throw EDbfError("The collation of the index (" + c.locale + ") is not available");
    return c.handle.get();
}

int IndexCollation::collate(const char16_t *a, std::size_t aLength, const char16_t *b,
                            std::size_t bLength) const
{
    const UCollationResult order =
        ucol_strcoll(collator(), reinterpret_cast<const UChar *>(a), static_cast<int32_t>(aLength),
                     reinterpret_cast<const UChar *>(b), static_cast<int32_t>(bLength));
    return order == UCOL_LESS ? -1 : order == UCOL_GREATER ? 1 : 0;
}

std::optional<std::size_t> IndexCollation::asciiLength(const std::uint8_t *key, std::size_t length) const
{
    if (!m_asciiAsIs)
        return std::nullopt;
    const void *nul = std::memchr(key, 0, length);
    const std::size_t used = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t *>(nul) - key) : length;
    // Eight bytes at a time: a key is searched against on every step of a descent.
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= used; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, key + i, 8);
        high |= word;
    }
    for (; i < used; ++i)
        high |= key[i];
    if ((high & 0x8080808080808080ull) != 0)
        return std::nullopt;
    return used;
}

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
    length = std::min(length, kDecodedBytes);
    const std::optional<std::size_t> left = asciiLength(a, length);
    const std::optional<std::size_t> right = left ? asciiLength(b, length) : std::nullopt;
    if (right) {
        if (const std::optional<int> order = collateAscii(a, *left, b, *right))
            return *order;
    }
    char16_t leftText[kDecodedUnits];
    char16_t rightText[kDecodedUnits];
    const std::size_t leftLength = decode(a, length, leftText);
    return collate(leftText, leftLength, rightText, decode(b, length, rightText));
}

// ASCII text is the same text in UTF-8, which the collator reads as it stands: most keys need no
// decoding at all.
std::optional<int> IndexCollation::collateAscii(const std::uint8_t *a, std::size_t aLength, const std::uint8_t *b,
                                                std::size_t bLength) const
{
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult order =
        ucol_strcollUTF8(collator(), reinterpret_cast<const char *>(a), static_cast<int32_t>(aLength),
                         reinterpret_cast<const char *>(b), static_cast<int32_t>(bLength), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    return order == UCOL_LESS ? -1 : order == UCOL_GREATER ? 1 : 0;
}

void IndexCollation::prepare(const std::uint8_t *key, std::size_t length, Probe &out) const
{
    length = std::min(length, kDecodedBytes);
    out.bytes.assign(reinterpret_cast<const char *>(key), length);
    const std::optional<std::size_t> ascii = asciiLength(key, length);
    out.isAscii = ascii.has_value();
    out.asciiLength = ascii.value_or(0);
    out.decoded = false;
}

int IndexCollation::compareToProbe(const std::uint8_t *a, std::size_t length, const Probe &b) const
{
    length = std::min(length, kDecodedBytes);
    if (b.isAscii) {
        if (const std::optional<std::size_t> ascii = asciiLength(a, length)) {
            const auto *probe = reinterpret_cast<const std::uint8_t *>(b.bytes.data());
            if (const std::optional<int> order = collateAscii(a, *ascii, probe, b.asciiLength))
                return *order;
        }
    }
    if (!b.decoded) {
        b.text.resize(kDecodedUnits);
        b.text.resize(decode(reinterpret_cast<const std::uint8_t *>(b.bytes.data()), b.bytes.size(), b.text.data()));
        b.decoded = true;
    }
    char16_t text[kDecodedUnits];
    return collate(text, decode(a, length, text), b.text.data(), b.text.size());
}
