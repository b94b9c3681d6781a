// Reading the version keys out of INI files as the settings file and the server write them.
#include "profilestring.h"

#include "codepage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ProfileStringTest, FindsTheFirstKeyOfTheFirstSectionOfItsName)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"[options]\r\nversion=2.5.0.0\r\n", "2.5.0.0"},
        {"\xEF\xBB\xBF[OPTIONS]\nVersion = 2.5.0.0 \n", "2.5.0.0"},
        {"[place]\nversion=1\n[options]\nico=yes\nversion=2\nversion=3\n", "2"},
        {"[options]\nico=yes\n[options]\nversion=2\n", ""}, // the second section is never read
        {"[options]\nversion=a=b\n", "a=b"},
        {"[options]\nversion\n=2\n", ""},
        {"version=2\n[options]\n", ""},
        {"", ""},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.ini");
    for (const auto &[content, expected] : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        EXPECT_EQ(readProfileString(path, "options", "version"), expected) << content.toStdString();
    }
    EXPECT_EQ(readProfileString(dir.filePath("missing.ini"), "options", "version"), "");
}

TEST(ProfileStringTest, TextIsUtf8WhenItCanBeAndTheCodePageOtherwise)
{
    EXPECT_EQ(profileText("Nouveaut\xC3\xA9s"), QString("Nouveautés"));
    codepage::setSystem(1252, 850);
    EXPECT_EQ(profileText("Nouveaut\xE9s"), QString("Nouveautés"));
    codepage::setSystem(0, 0);
}

} // namespace
