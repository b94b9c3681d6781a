// The one code page wrapper: which converter a number finds, and what an unknown number reads as.
#include "codepage.h"
#include "icucodepage.h"
#include "indexcollation.h"

#include <gtest/gtest.h>

namespace {

struct Sample
{
    int codePage;
    std::string bytes;
    std::u16string text;
};

// Windows' own tables where ICU's differ: 932 as Windows has it, 874 with the euro.
TEST(IcuCodePageTest, NumbersFindTheWindowsTables)
{
    const std::vector<Sample> samples = {
        {850, "\x82t\x82", u"\u00E9t\u00E9"},
        {932, "\x82\xA0\x81\x5F", u"\u3042\uFF3C"},
        {874, "\x80", u"\u20AC"},
        {1250, "\x8A", u"\u0160"},
        {28591, "\x80", u"\u0080"},
        {65001, "\xC3\xA9", u"\u00E9"},
    };
    for (const Sample &s : samples) {
        const TIcuCodePage page(s.codePage);
        ASSERT_TRUE(page.valid()) << s.codePage;
        EXPECT_EQ(page.decode(s.bytes), s.text) << s.codePage;
        EXPECT_EQ(page.encode(s.text), s.bytes) << s.codePage;
    }
}

// An unknown number reads as Windows-1252 in table text, index keys and documents alike, and
// writes nothing.
TEST(IcuCodePageTest, UnknownCodePageReadsAsWindows1252AndWritesNothing)
{
    const TIcuCodePage page(620);
    EXPECT_FALSE(page.valid());
    EXPECT_EQ(page.decode("\x80\xE9", 2), u"\u20AC\u00E9");
    EXPECT_FALSE(page.encode(u"e").has_value());

    const TCodePage table(620);
    EXPECT_FALSE(table.valid());
    EXPECT_EQ(table.toUtf8("\x80\xE9"), "\u20AC\u00E9");

    // Keys of such a table sort as their Windows-1252 text: the euro sign is no control character.
    const auto collation = IndexCollation::forLanguageDriver(105, 620);
    ASSERT_TRUE(collation.has_value());
    const std::uint8_t euro[] = {0x80, 'a'}, a[] = {'a', 'a'};
    EXPECT_LT(collation->compare(euro, a, 2), 0);
}

TEST(IcuCodePageTest, CharactersThePageLacksAreRefusedOrReplaced)
{
    const TIcuCodePage page(850);
    EXPECT_FALSE(page.encode(u"a\u20ACb").has_value());
    EXPECT_EQ(page.encodeLossy(u"a\u20ACb"), "a?b");
}

} // namespace
