// The INI line syntax in both dialects: what each kind of line is, and where lines end.
#include "inisyntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LineCase
{
    const char *behaviour;
    bool language; // else the settings dialect
    std::string_view content;
    ini::Line::Kind kind;
    std::string_view name = {};
    std::string_view value = {};
};

const LineCase LineCases[] = {
    {"SettingsTrimsNamesAndValues", false, "  ico = yes \t", ini::Line::Entry, "ico", "yes"},
    {"FirstEqualsSplits", false, "url=a=b", ini::Line::Entry, "url", "a=b"},
    {"SettingsSectionEndsAtFirstBracket", false, " [ options ] trailing", ini::Line::Section, "options"},
    {"SettingsCommentWithEqualsIsAKey", false, ";x=1", ini::Line::Entry, ";x", "1"},
    {"UnclosedSectionWithEqualsIsAKey", false, "[abc=1", ini::Line::Entry, "[abc", "1"},
    {"LineWithoutEqualsIsNothing", false, "just words", ini::Line::Other},
    {"LanguageKeepsBlanks", true, "Key = value", ini::Line::Entry, "Key ", " value"},
    {"LanguageSectionNeedsClosingBracketLast", true, "[Form1] x", ini::Line::Other},
    {"LanguageSectionKeepsBlanks", true, "[ Form1 ]", ini::Line::Section, " Form1 "},
    {"LanguageCommentIsNothing", true, ";Caption=x", ini::Line::Other},
    {"LanguageEmptyKey", true, "=value", ini::Line::Entry, "", "value"},
    {"LanguageBracketsAloneAreAnEmptySection", true, "[]", ini::Line::Section, ""},
};

class IniLineTest : public testing::TestWithParam<LineCase>
{
};

TEST_P(IniLineTest, LineIsReadAsItsDialectSays)
{
    const LineCase &c = GetParam();
    const ini::Line line = ini::parseLine(c.content, c.language ? ini::LanguageDialect : ini::SettingsDialect);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.name, c.name);
    EXPECT_EQ(line.value, c.value);
}

INSTANTIATE_TEST_SUITE_P(Dialects, IniLineTest, testing::ValuesIn(LineCases),
                         [](const testing::TestParamInfo<LineCase> &info) { return std::string(info.param.behaviour); });

TEST(IniLinesTest, BreaksEndLinesAsEachDialectWants)
{
    using Lines = std::vector<std::string_view>;
    EXPECT_EQ(ini::splitLines(std::string_view("a\r\nb\rc\n\nd"), ini::LineBreaks::Lf), (Lines{"a", "b\rc", "", "d"}));
    EXPECT_EQ(ini::splitLines(std::string_view("a\r\nb\rc\n\nd"), ini::LineBreaks::CrOrLf),
              (Lines{"a", "b", "c", "", "d"}));
    EXPECT_EQ(ini::splitLines(std::string_view("a\n"), ini::LineBreaks::Lf), (Lines{"a"})) << "no empty last line";
    EXPECT_EQ(ini::withoutBom("\xEF\xBB\xBF[options]"), "[options]");
}

} // namespace
