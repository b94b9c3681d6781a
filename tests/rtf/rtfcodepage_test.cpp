// A single-byte page decodes through its own table of 256 characters: every byte must come out
// as the converter gives it, the bytes a page leaves unmapped and an unknown page included.
#include "icucodepage.h"
#include "rtfcodepage.h"

#include <gtest/gtest.h>

class RtfCodePageBytes : public ::testing::TestWithParam<int>
{
};

TEST_P(RtfCodePageBytes, EveryByteDecodesAsTheConverterDecodesIt)
{
    const RtfCodePage page(GetParam());
    const TIcuCodePage converter(GetParam());
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        all += byte;
        const std::u16string expected = converter.decode(&byte, 1);
        EXPECT_EQ(page.decode(QByteArray(1, byte)),
                  QString::fromUtf16(expected.data(), qsizetype(expected.size())))
            << "page " << GetParam() << ", byte " << b;
    }
    const std::u16string expected = converter.decode(all.constData(), std::size_t(all.size()));
    EXPECT_EQ(page.decode(all), QString::fromUtf16(expected.data(), qsizetype(expected.size())));
}

INSTANTIATE_TEST_SUITE_P(SingleBytePages, RtfCodePageBytes,
                         ::testing::Values(437, 850, 852, 866, 874, 1250, 1251, 1252, 1253, 1254, 1255,
                                           1256, 1257, 1258, 10000, 28591, 28605, 4242));

TEST(RtfCodePageBytes, APageWithLeadBytesStillDecodesThroughItsConverter)
{
    const RtfCodePage page(932);
    EXPECT_EQ(page.decode(QByteArray("\x82\xa0" "a", 3)), QStringLiteral(u"\u3042a")); // あ
}
