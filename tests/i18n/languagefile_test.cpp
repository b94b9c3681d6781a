// The language-file dialect, read from real bytes.
#include "languagefile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DialectCase
{
    const char *what;
    const char *bytes;
    const char *section;
    const char *key;
    const char *expected; // "<none>" when the caller's fallback comes back
};

class Dialect : public ::testing::TestWithParam<DialectCase>
{
};

} // namespace

TEST_P(Dialect, ReadsTheValueAWindowsProgramWouldRead)
{
    const DialectCase &c = GetParam();
    const LanguageFile file = LanguageFile::parse(QByteArray(c.bytes));
    EXPECT_EQ(file.value(QString::fromUtf8(c.section), QString::fromUtf8(c.key),
                         QStringLiteral("<none>")),
              QString::fromUtf8(c.expected))
        << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    LanguageFile, Dialect,
    ::testing::Values(
        DialectCase{"blanks around = belong to key and value", "[S]\r\nKey = value\r\n", "S",
                    "Key ", " value"},
        DialectCase{"a key written without its blank is not found", "[S]\nKey = value\n", "S",
                    "Key", "<none>"},
        DialectCase{"the first = splits", "[S]\nk=a=b==\n", "S", "k", "a=b=="},
        DialectCase{"CR alone ends a line", "[S]\ra=1\rb=2", "S", "b", "2"},
        DialectCase{"LF alone ends a line", "[S]\na=1\nb=2\n", "S", "b", "2"},
        DialectCase{"section and key in any case", "[form1]\nFORM1.LABEL3.HINT=x\n", "Form1",
                    "Form1.Label3.Hint", "x"},
        DialectCase{"the first section of a name wins", "[S]\na=1\n[s]\na=2\nb=3\n", "S", "b",
                    "<none>"},
        DialectCase{"the first line of a key wins", "[S]\na=1\nA=2\n", "S", "a", "1"},
        DialectCase{"comment lines are not keys", "[S]\n;a=1\n", "S", ";a", "<none>"},
        DialectCase{"a line without = never matches", "[S]\nabc\n", "S", "abc", "<none>"},
        DialectCase{"lines before the first section are ignored", "a=1\n[S]\n", "S", "a",
                    "<none>"},
        DialectCase{"an indented header is a plain line", "[S]\n [T]\na=1\n", "S", "a", "1"},
        DialectCase{"an empty value is a value", "[S]\na=\n", "S", "a", ""},
        DialectCase{"bytes are the system code page", "[S]\na=\xC0 faire, Ic\xF4ne\n", "S",
                    "a", "À faire, Icône"}));

TEST(LanguageFile, KeysKeepFileOrderAndRepeats)
{
    const LanguageFile file = LanguageFile::parse("[R]\n2_b=x\nnoequals\n1_a=y\n2_b=z\n");
    EXPECT_EQ(file.keys(QStringLiteral("r")),
              (QStringList{QStringLiteral("2_b"), QStringLiteral("1_a"), QStringLiteral("2_b")}));
    EXPECT_TRUE(file.keys(QStringLiteral("missing")).isEmpty());
}

// Fuzzed input once took 819 MB: what is read stays bounded by what a language file can be.
TEST(LanguageFile, AFileFarLargerThanAnyLanguageFileIsNotRead)
{
    QTemporaryDir dir;
    QFile big(dir.filePath("English.lng"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    const QByteArray lines = QByteArray("[]\n=\n").repeated(1 << 16);
    while (big.size() <= MaxLanguageFileBytes)
        big.write(lines);
    big.close();
    EXPECT_EQ(LoadLanguageFile(dir.path() + "/", "English.lng"), nullptr);
    QFile::resize(dir.filePath("English.lng"), 1000);
    EXPECT_NE(LoadLanguageFile(dir.path() + "/", "English.lng"), nullptr);
}
