// Sealed values against results worked out apart from this code (a separate script, and the
// published RC4 test vectors), with the Western European code page 1252 as the system's.
#include "sealtext.h"

#include "codepage.h"

#include <gtest/gtest.h>

namespace {

class SealTextTest : public ::testing::Test
{
protected:
    void SetUp() override { codepage::setSystem(1252, 850); }
    void TearDown() override { codepage::setSystem(0, 0); }
};

TEST_F(SealTextTest, MatchesIndependentlyComputedValues)
{
    EXPECT_EQ(SealText("Y"), "rA==");
    EXPECT_EQ(SealText("N"), "uw==");
    EXPECT_EQ(SealText("abc"), "lHQZ");
    EXPECT_EQ(SealText("pw"), "hWE=");
    EXPECT_EQ(SealText("secret"), "hnMZoPQx");
    EXPECT_EQ(SealText("motdepasse"), "mHkOtvQ1n296fw==");
    EXPECT_EQ(SealText("  pw  "), "1TYKpbFl");
}

TEST_F(SealTextTest, NonAsciiLettersAreSealedAsTheirCodePageBytes)
{
    EXPECT_EQ(SealText(QStringLiteral("é")), "HA==");        // 0xE9
    EXPECT_EQ(SealText(QStringLiteral("€uro")), "dWMIvQ=="); // 0x80 'u' 'r' 'o'
}

TEST_F(SealTextTest, CharactersForeignToTheCodePageDoNotCollapseIntoQuestionMarks)
{
    const QString greek = QStringLiteral("αβ");
    EXPECT_NE(SealText(greek), SealText("??"));
    EXPECT_NE(SealText(greek), SealText(QStringLiteral("βα")));
    EXPECT_EQ(SealText(greek), SealText(greek));
}

TEST_F(SealTextTest, LengthIsFourCharactersPerThreeBytesRoundedUp)
{
    QString text;
    for (int n = 1; n <= 12; ++n) {
        text += QChar(u'a' + n);
        const QString sealed = SealText(text);
        EXPECT_EQ(sealed.size(), 4 * ((n + 2) / 3)) << n;
        EXPECT_EQ(sealed.endsWith("=="), n % 3 == 1) << n;
        EXPECT_EQ(sealed.endsWith("="), n % 3 != 0) << n;
        EXPECT_EQ(SealText(text), sealed) << "sealing must not depend on earlier calls";
    }
}

std::vector<uint8_t> bytes(const char *text)
{
    return std::vector<uint8_t>(text, text + strlen(text));
}

TEST(Rc4CipherTest, PublishedTestVectors)
{
    struct Vector
    {
        const char *key;
        const char *plain;
        std::vector<uint8_t> cipher;
    };
    const Vector vectors[] = {
        {"Key", "Plaintext", {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}},
        {"Wiki", "pedia", {0x10, 0x21, 0xBF, 0x04, 0x20}},
        {"Secret", "Attack at dawn",
         {0x45, 0xA0, 0x1F, 0x64, 0x5F, 0xC3, 0x5B, 0x38, 0x35, 0x52, 0x54, 0x4B, 0x9B, 0xF5}},
    };
    for (const Vector &v : vectors) {
        const auto key = bytes(v.key);
        auto data = bytes(v.plain);
        Rc4Cipher cipher(key, int(key.size() * 8));
        cipher.apply(data);
        EXPECT_EQ(data, v.cipher) << v.key;
    }
}

TEST(Rc4CipherTest, KeySizesOutsideTheCipherAreRefused)
{
    const std::vector<uint8_t> key(300, 7);
    for (int bits : {0, -8, 6, 161, 2052, 4096}) {
        try {
            Rc4Cipher cipher(key, bits);
            ADD_FAILURE() << bits << " bits accepted";
        } catch (const std::invalid_argument &e) {
            EXPECT_STREQ(e.what(), "Invalid key size") << bits;
        }
    }
    const std::vector<uint8_t> shortKey(4, 7);
    EXPECT_THROW(Rc4Cipher(shortKey, 40), std::invalid_argument);
    EXPECT_NO_THROW(Rc4Cipher(key, 2048));
    EXPECT_NO_THROW(Rc4Cipher(key, 4));
}

} // namespace
