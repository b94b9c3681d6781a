// Built-in messages: decoding, key matching, the choice of the Language file, and errors of the
// real table engine reaching the person translated.
#include "builtinmessages.h"

#include "dbf.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct DecodeCase
{
    const char *value;
    const char *decoded;
};

class Decoding : public ::testing::TestWithParam<DecodeCase>
{
};

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class Translator : public ::testing::Test
{
protected:
    QString folder() const { return dir.path() + u'/'; }
    // Written as the files ship: in the Western code page.
    void language(const char *name, const char *resourceStrings)
    {
        put(folder() + QLatin1String(name) + QLatin1String(".lng"),
            "[ResourceStrings]\r\n" + QString::fromUtf8(resourceStrings).toLatin1());
    }
    QTemporaryDir dir;
    BuiltInMessageTranslator translator;
};

// Points the program's own translator at a folder for one test.
class ProgramTranslator : public Translator
{
protected:
    void TearDown() override
    {
        QDir(dir.path()).removeRecursively();
        BuiltInMessageTranslator::instance().start(folder());
    }
};

} // namespace

TEST_P(Decoding, QuotedLiteral)
{
    EXPECT_EQ(DecodeResourceString(QString::fromUtf8(GetParam().value)),
              QString::fromUtf8(GetParam().decoded))
        << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    BuiltInMessages, Decoding,
    ::testing::Values(DecodeCase{"'Ligne 1'#13#10'Ligne 2'", "Ligne 1\r\nLigne 2"},
                      DecodeCase{"'It''s'", "It's"}, DecodeCase{"''", ""},
                      DecodeCase{"'", ""}, DecodeCase{"x", ""},
                      DecodeCase{"'open", ""},              // run never closed
                      DecodeCase{"'a'b", ""},               // a quote closing mid-value
                      DecodeCase{"ab''cd", "abcd"},         // doubled quotes outside are skipped
                      DecodeCase{"#65#66", "AB"}, DecodeCase{"#321", "A"}, // low 8 bits
                      DecodeCase{"#", ""},                  // too short
                      DecodeCase{"a#", "aÿ"},               // # without digits is 255
                      DecodeCase{"#233't'", "ét"},          // byte of the code page
                      DecodeCase{"'''x'", "'x"}));

TEST_F(Translator, KeysMatchTheirNumberTextually)
{
    language("English", "0400_Padded='padded'\r\n"
                        " 401 _Blank='blank'\r\n"
                        "100='no underscore'\r\n"
                        "102_First='first'\r\n102_Second='second'\r\n"
                        "103_Empty=''\r\n"
                        "104_Broken='a'b\r\n");
    translator.start(folder());
    EXPECT_EQ(translator.lookup(400), QStringLiteral("Record locked.")); // leading zero: no match
    EXPECT_EQ(translator.lookup(401), QStringLiteral("blank"));
    EXPECT_EQ(translator.lookup(100), QStringLiteral("no underscore"));
    EXPECT_EQ(translator.lookup(102), QStringLiteral("first"));
    EXPECT_EQ(translator.lookup(103), QString());
    EXPECT_EQ(translator.lookup(104), QString());
    EXPECT_EQ(translator.lookup(BuiltInMessage::FieldNotFound),
              QStringLiteral("Champ '%s' non trouvé"));
}

TEST_F(Translator, PrefersEnglishWhateverTheListingOrder)
{
    language("German", "400_x='Datensatz gesperrt.'\r\n");
    language("English", "400_x='Locked!'\r\n");
    language("Dutch", "400_x='Vergrendeld.'\r\n");
    translator.start(folder());
    EXPECT_EQ(translator.language(), QStringLiteral("English"));
    EXPECT_EQ(translator.languages().size(), 3);
    EXPECT_EQ(translator.lookup(400), QStringLiteral("Locked!"));
}

TEST_F(Translator, TakesTheOnlyFileAndKeepsOwnTextsWithoutOne)
{
    translator.start(folder() + QLatin1String("missing"));
    EXPECT_EQ(translator.lookup(100), QStringLiteral("OK"));
    translator.start(folder());
    EXPECT_EQ(translator.lookup(101), QStringLiteral("Annuler"));
    language("German", "101_x='Abbrechen'\r\n");
    translator.start(folder());
    EXPECT_EQ(translator.lookup(101), QStringLiteral("Abbrechen"));
}

TEST_F(ProgramTranslator, EngineAndDatasetErrorsReachThePersonTranslated)
{
    language("German", "401_x='Ungültige DBF-Datei.'\r\n"
                       "506_x='Feld ''%s'' nicht gefunden'\r\n"
                       "402_x='Datei \"%s\" lässt sich nicht öffnen.'\r\n");
    BuiltInMessageTranslator::instance().start(folder());
    put(folder() + QLatin1String("bad.dbf"), QByteArray(300, 'x'));

    TDbf table("Dbfmemo");
    table.setFilePath(folder().toStdString());
    table.setTableName("bad.dbf");
    QString raised;
    try {
        table.open();
    } catch (const std::exception &e) {
        raised = QString::fromUtf8(e.what());
    }
    ASSERT_FALSE(raised.isEmpty());
    const QString shown = TranslateErrorText(raised);
    EXPECT_TRUE(shown.contains(QStringLiteral("Ungültige DBF-Datei."))) << shown.toStdString();

    EXPECT_EQ(TranslateErrorText(QStringLiteral("Dbfinfos: Champ 'TITRE' non trouvé")),
              QStringLiteral("Dbfinfos: Feld 'TITRE' nicht gefunden"));
    EXPECT_EQ(TranslateErrorText(QStringLiteral("Cannot open file \"/d/a.dbf\".")),
              QStringLiteral("Datei \"/d/a.dbf\" lässt sich nicht öffnen."));
    EXPECT_EQ(TranslateErrorText(QStringLiteral("Anything else")), QStringLiteral("Anything else"));
}
