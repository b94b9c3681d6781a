// The settings file reader and writer on real files in a temporary directory.
#include "inifile.h"
#include "otheruser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

// Failures show the file's text rather than its bytes one by one.
static void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << QString::fromLatin1(bytes).replace("\r", "\\r").replace("\n", "\\n").toStdString()
        << '"';
}

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString path(const QString &name = QStringLiteral("velmora.ini")) const
    {
        return m_dir.filePath(name);
    }
    void put(const QByteArray &bytes, const QString &name = QStringLiteral("velmora.ini"))
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray bytes(const QString &name = QStringLiteral("velmora.ini")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir m_dir;
};

TEST_F(IniFileTest, ReplacesValueInPlaceAndKeepsEveryOtherByte)
{
    const QByteArray before = "; written by hand\r\n"
                              "[place]\r\n"
                              "NormPos=1,2,3,4\r\n"
                              "\r\n"
                              "[options]\r\n"
                              "ico=no\r\n"
                              "unknown key without equals\r\n"
                              "lng=99\r\n"
                              "\r\n"
                              "[other]\r\n"
                              "ico=keep\r\n";
    put(before);
    IniFile ini(path());
    ini.writeString("options", "ico", "yes");
    QByteArray expected = before;
    expected.replace("ico=no", "ico=yes");
    EXPECT_EQ(bytes(), expected);
    EXPECT_EQ(ini.readString("options", "ico"), "yes");
    EXPECT_EQ(ini.readString("other", "ico"), "keep");
}

TEST_F(IniFileTest, FirstEqualsSignSplitsSoValuesMayHoldEqualsSigns)
{
    put("[options]\nw=hnMZ==\np = a=b = c \n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString("options", "w"), "hnMZ==");
    EXPECT_EQ(ini.readString("options", "p"), "a=b = c");
    ini.writeString("options", "w", "x==");
    EXPECT_EQ(bytes(), "[options]\nw=x==\np = a=b = c \n");
}

TEST_F(IniFileTest, SectionsAndKeysMatchInAnyLetterCase)
{
    put("[OPTIONS]\nIco=no\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString("options", "ICO"), "no");
    ini.writeString("Options", "iCO", "yes");
    // The spelling already in the file stays; only the value changes.
    EXPECT_EQ(bytes(), "[OPTIONS]\nIco=yes\n");
}

TEST_F(IniFileTest, NewKeyGoesAtTheEndOfAMiddleSection)
{
    put("[place]\nFlags=0\n\n[options]\nico=no\nlng=99\n\n; about the update\n[update]\nx=1");
    IniFile(path()).writeString("options", "p", "rA==");
    EXPECT_EQ(bytes(), "[place]\nFlags=0\n\n[options]\nico=no\nlng=99\np=rA==\n\n"
                       "; about the update\n[update]\nx=1");
}

TEST_F(IniFileTest, NewKeyInEmptySectionAndNewSectionAtTheEnd)
{
    put("[options]\r\n[place]\r\nFlags=0");
    IniFile ini(path());
    ini.writeString("options", "ico", "no");
    ini.writeString("extra", "k", "v");
    EXPECT_EQ(bytes(), "[options]\r\nico=no\r\n[place]\r\nFlags=0\r\n[extra]\r\nk=v\r\n");
}

TEST_F(IniFileTest, MissingFileIsCreatedButNeverItsDirectory)
{
    IniFile ini(path());
    EXPECT_EQ(ini.readString("options", "p"), "");
    ini.writeString("options", "p", "uw==");
    EXPECT_EQ(bytes(), "[options]\np=uw==\n");

    const QString nested = m_dir.filePath("data/velmora.ini");
    try {
        IniFile(nested).writeString("options", "p", "uw==");
        FAIL() << "writing into a missing folder must fail";
    } catch (const IniWriteError &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Impossible d'écrire dans " + nested);
    }
    EXPECT_FALSE(QDir(m_dir.filePath("data")).exists());
}

TEST_F(IniFileTest, MissingSectionOrKeyReadsAsTheDefault)
{
    put("[options]\nico=yes\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString("place", "ico"), "");
    EXPECT_EQ(ini.readString("options", "lng"), "");
    EXPECT_EQ(ini.readString("options", "lng", "fallback"), "fallback");
    EXPECT_EQ(ini.readInteger("options", "ico", -7), -7);
    put("[place]\nFormVersion= -3 \nShowCmd=2x\n");
    EXPECT_EQ(ini.readInteger("place", "FormVersion", 0), -3);
    EXPECT_EQ(ini.readInteger("place", "ShowCmd", 0), 0);
}

TEST_F(IniFileTest, ValueReadBackIsCutAt2047Characters)
{
    const QByteArray longValue(3000, 'a');
    put("[options]\nversion=" + longValue + "\n");
    EXPECT_EQ(IniFile(path()).readString("options", "version").size(), 2047);
}

TEST_F(IniFileTest, FirstOfTwoEqualSectionsAndKeysWins)
{
    put("[options]\nico=one\nico=two\n[options]\nico=three\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString("options", "ico"), "one");
    ini.writeString("options", "ico", "1");
    EXPECT_EQ(bytes(), "[options]\nico=1\nico=two\n[options]\nico=three\n");
}

TEST_F(IniFileTest, GarbageFileIsReadWithoutHarmAndKeptWhenWritten)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 37 + 11) % 256);
    garbage += "\n[unclosed\n]=[\n=value without key\n[options\n";
    put(garbage);
    IniFile ini(path());
    EXPECT_EQ(ini.readString("options", "p"), "");
    ini.writeString("options", "p", "uw==");
    EXPECT_TRUE(bytes().startsWith(garbage));
    EXPECT_EQ(ini.readString("options", "p"), "uw==");
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused)
{
    put("[options]\nico=no\n");
    IniFile ini(path());
    EXPECT_THROW(ini.writeString("options", "ico", "yes\n[place]"), std::invalid_argument);
    EXPECT_THROW(ini.writeString("options", "a=b", "x"), std::invalid_argument);
    EXPECT_THROW(ini.writeString("opt]ions", "a", "x"), std::invalid_argument);
    EXPECT_THROW(ini.writeString("options", "", "x"), std::invalid_argument);
    EXPECT_EQ(bytes(), "[options]\nico=no\n");
}

// A key line behind a byte order mark (a file joined from two, say) keeps its own key.
TEST_F(IniFileTest, KeyLineBehindAByteOrderMarkIsRewrittenUnderItsOwnName)
{
    put("[options]\n\xEF\xBB\xBFlng=12345\n");
    IniFile ini(path());
    ini.writeString("options", "lng", "9");
    EXPECT_EQ(bytes(), QByteArray("[options]\n\xEF\xBB\xBFlng=9\n"));
    EXPECT_EQ(ini.readString("options", "lng"), "9");
}

// The disk fills while the new file is written (here: a file size limit, which fails the same
// write): the old file must stay whole, not be replaced by the piece that fitted.
TEST_F(IniFileTest, FullDiskGivesTheFrenchErrorAndKeepsTheOldFile)
{
    QByteArray before = "[options]\np=sealed\nw=sealed\nico=yes\n[place]\n";
    before += "NormPos=" + QByteArray(500, '1') + "\n";
    put(before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit small = limit;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        IniFile(path()).writeString("options", "ico", "no");
    } catch (const IniWriteError &e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(QString::fromStdString(message), "Impossible d'écrire dans " + path());
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file may be left behind";
}

TEST_F(IniFileTest, ReadOnlyFolderGivesTheFrenchErrorAndKeepsTheOldFile)
{
    const QByteArray before = "[options]\nico=no\n";
    put(before);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                            | QFile::ExeGroup | QFile::ReadOther
                                            | QFile::ExeOther);
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QString file = path();
    const QString message = textOfOtherUser([file]() -> std::string {
        try {
            IniFile(file).writeString("options", "ico", "yes");
        } catch (const std::exception &e) {
            return e.what();
        }
        return {};
    });
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(message, "Impossible d'écrire dans " + file);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file may be left behind";
}

} // namespace
