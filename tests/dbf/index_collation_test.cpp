// The locale rule of index keys against the collator's sort keys of the decoded text, the order
// the rule stands for: whichever way a comparison goes (ASCII keys as they stand, decoded keys,
// a search's prepared probe), it must give that order.
#include "icucodepage.h"
#include "indexcollation.h"

#include <gtest/gtest.h>

#include <unicode/ucol.h>

#include <string>
#include <vector>

namespace {

struct Rule
{
    std::uint8_t languageDriver;
    int codePage;
    const char *locale;
};

class IndexCollationTest : public ::testing::TestWithParam<Rule>
{
};

constexpr std::size_t kKeyLength = 40;

// Titles as a person types them, padded with spaces as the record stores them (the page may lack
// some letters); one ends in NUL bytes instead, as other programs pad.
std::vector<std::string> keys(const TIcuCodePage &page)
{
    std::vector<std::string> result{std::string("Alpha") + std::string(kKeyLength - 5, '\0')};
    for (const std::u16string title : {u"Alpha", u"alpha", u"ALPHA", u"Alpha\t", u"Alpha b", u"Alphab", u"Al-pha",
                                       u"Noël", u"Noel", u"noël", u"", u"Zeta", u"zeta", u"Éclair", u"eclair",
                                       u"Eclair", u"éclair", u"a b", u"ab", u"a\u00A0b", u"12", u"1 2", u"Straße",
                                       u"Strasse"}) {
        if (std::optional<std::string> bytes = page.encode(title)) {
            bytes->resize(kKeyLength, ' ');
            result.push_back(*bytes);
        }
    }
    return result;
}

// The reference order: the collator's sort key of the text up to the first NUL.
std::string sortKey(UCollator *collator, const TIcuCodePage &page, const std::string &key)
{
    const std::u16string text = page.decode(key.c_str(), std::min(key.find('\0'), key.size()));
    std::string out(1024, '\0');
    out.resize(static_cast<std::size_t>(ucol_getSortKey(collator, reinterpret_cast<const UChar *>(text.data()),
                                                        static_cast<int32_t>(text.size()),
                                                        reinterpret_cast<uint8_t *>(out.data()), 1024)));
    return out;
}

TEST_P(IndexCollationTest, EveryWayOfComparingGivesTheCollatorsOrder)
{
    const Rule rule = GetParam();
    const std::optional<IndexCollation> collation = IndexCollation::forLanguageDriver(rule.languageDriver, rule.codePage);
    if (!collation)
        GTEST_SKIP() << "ICU has no collation for " << rule.locale;
    UErrorCode status = U_ZERO_ERROR;
    TCollatorHandle collator(ucol_open(rule.locale, &status));
    ASSERT_TRUE(U_SUCCESS(status));
    ucol_setStrength(collator.get(), UCOL_TERTIARY);
    const TIcuCodePage page(rule.codePage);
    const std::vector<std::string> all = keys(page);
    ASSERT_GT(all.size(), 15u);
    for (const std::string &a : all) {
        for (const std::string &b : all) {
            const auto *ka = reinterpret_cast<const std::uint8_t *>(a.data());
            const auto *kb = reinterpret_cast<const std::uint8_t *>(b.data());
            const int order = sortKey(collator.get(), page, a).compare(sortKey(collator.get(), page, b));
            const int expected = order < 0 ? -1 : order > 0 ? 1 : 0;
            IndexCollation::Probe probe;
            collation->prepare(kb, kKeyLength, probe);
            EXPECT_EQ(expected, collation->compare(ka, kb, kKeyLength)) << "\"" << a << "\" against \"" << b << "\"";
            EXPECT_EQ(expected, collation->compareToProbe(ka, kKeyLength, probe))
                << "\"" << a << "\" against the probe \"" << b << "\"";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, IndexCollationTest,
                         ::testing::Values(Rule{87, 1252, "root"}, Rule{29, 850, "fr_CA"},
                                           Rule{16, 850, "de_DE"}, Rule{19, 932, "ja_JP"}));

} // namespace
