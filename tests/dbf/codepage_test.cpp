// Table text through the code page tables, byte for byte against ICU's own converters, for every
// single-byte code page a table or the locale can name.
#include "codepage.h"
#include "icucodepage.h"

#include <array>
#include <gtest/gtest.h>
#include <map>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

namespace {

std::string utf8Of(const std::u16string &text)
{
    std::string out(text.size() * 3 + 1, '\0');
    int32_t len = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &len,
                reinterpret_cast<const UChar *>(text.data()), static_cast<int32_t>(text.size()), &err);
    out.resize(static_cast<std::size_t>(len));
    return out;
}

// What the table must give for byte b: ICU's character, the control itself, or, where ICU has
// nothing, the character of the byte's own value so that the byte survives. `defined` says which.
std::string expectedUtf8(UConverter *icu, int b, bool &defined)
{
    defined = true;
    if (b < 0x20 || b == 0x7F)
        return std::string(1, static_cast<char>(b));
    const char in = static_cast<char>(b);
    UChar out[4];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(icu, out, 4, &in, 1, &err);
    if (U_SUCCESS(err) && n == 1 && out[0] != 0xFFFD && out[0] != 0x1A)
        return utf8Of(std::u16string(1, out[0]));
    defined = false;
    return utf8Of(std::u16string(1, static_cast<char16_t>(b)));
}

class CodePageBytesTest : public testing::TestWithParam<int>
{
};

TEST_P(CodePageBytesTest, EveryByteReadsAsIcuHasItAndWritesBackTheSame)
{
    const TConverterHandle icu = openCodePageConverter(GetParam());
    const TCodePage page(GetParam());
    ASSERT_TRUE(icu && page.valid() && page.singleByte()) << "code page " << GetParam();

    std::array<std::string, 256> utf8;
    std::map<std::string, char> definedAt; // a character's byte where ICU defines it
    for (int b = 0; b < 256; ++b) {
        bool defined = false;
        utf8[b] = expectedUtf8(icu.get(), b, defined);
        if (defined)
            definedAt.emplace(utf8[b], static_cast<char>(b));
    }
    // An undefined byte writes back as itself unless its stand-in is a character the page
    // defines elsewhere: then that character's byte.
    std::string all, allUtf8, writtenBack;
    for (int b = 0; b < 256; ++b) {
        const auto at = definedAt.find(utf8[b]);
        const char back = at != definedAt.end() ? at->second : static_cast<char>(b);
        EXPECT_EQ(page.toUtf8(std::string(1, static_cast<char>(b))), utf8[b]) << "byte " << b;
        EXPECT_EQ(page.fromUtf8(utf8[b]), std::string(1, back)) << "byte " << b;
        all += static_cast<char>(b);
        allUtf8 += utf8[b];
        writtenBack += back;
    }
    // Whole texts too, the accented bytes at every offset from a run of plain letters, so that
    // the runs copied eight at a time meet them at each position.
    for (std::size_t lead = 0; lead < 18; ++lead) {
        const std::string plain(lead, 'e');
        const std::string text = plain + all + plain;
        EXPECT_EQ(page.toUtf8(text), plain + allUtf8 + plain) << "after " << lead;
        EXPECT_EQ(page.toUtf8(std::string(text)), plain + allUtf8 + plain) << "handed over, after " << lead;
        EXPECT_EQ(page.toUtf8(std::string(text, 0, lead)), plain) << "handed over, plain text";
        EXPECT_EQ(page.fromUtf8(plain + allUtf8 + plain), plain + writtenBack + plain) << "after " << lead;
        EXPECT_TRUE(page.canEncode(plain + allUtf8));
    }
}

INSTANTIATE_TEST_SUITE_P(SingleByte, CodePageBytesTest,
                         testing::Values(437, 720, 737, 775, 850, 852, 857, 860, 862, 863, 865, 866,
                                         867, 868, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256,
                                         1257, 1258, 28591, 28592, 28593, 28594, 28595, 28596, 28597,
                                         28598, 28599, 28600, 28601, 28603, 28604, 28605));

// Memo bytes between a DOS table and the Windows page: each character the other page holds keeps
// its identity, the others become '?', and bad UTF-8 never reaches the file as such.
TEST(CodePageBytesTest, MemoTranslationKeepsCharactersAndMarksTheMissing)
{
    const TCodePage dos(850), windows(1252);
    const TMemoTranslation memo(dos, windows);
    for (int b = 0x80; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string text = dos.toUtf8(one), ansi = memo.toAnsi("x" + one);
        EXPECT_EQ(ansi, windows.canEncode(text) ? "x" + windows.fromUtf8(text) : "x?") << "byte " << b;
        if (windows.canEncode(text)) {
            EXPECT_EQ(memo.fromAnsi(ansi), "x" + one) << "byte " << b;
        }
    }
    EXPECT_EQ(windows.fromUtf8("a\xC3(b\xE2\x82"), "a?(b?");
    EXPECT_FALSE(windows.canEncode("\xF0\x9F\x98\x80"));
}

} // namespace
