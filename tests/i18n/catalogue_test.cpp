// The built-in message catalogue and the locale-to-language mapping.
#include "catalogue.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

TEST(CatalogueTest, TextsArriveExactlyWithTheirBlanksAndAccents)
{
    struct Case
    {
        int language;
        int index;
        QString text;
    };
    const Case cases[] = {
        {12, 7, "Nouvelle version : "},
        {9, 7, "New version : "},
        {16, 7, "nuova versione : "},
        {12, 9, "Vitesse de téléchargement : 0 Ko/s "},
        {9, 9, "Speed download: 0 Kb/s "},
        {22, 9, "Velocidade de Baixar:  0 KB / sec"},
        {7, 7, "Neue Version"}, // no colon, no blank: the version is glued to it
        {19, 7, "Nieuwe versie"},
        {12, 2, "Vérification des mises à jour..."},
        {7, 4, "Playing unmöglich oder nicht vorhandene Datei auf dem Server!"},
        {22, 3, "Não Activo conexão com a Internet"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CatalogueMessage(c.language, c.index), c.text)
            << "message " << c.language * 100 + c.index;
}

TEST(CatalogueTest, EveryBlockIsCompleteAndTheRestIsEmpty)
{
    for (int language : {7, 9, 10, 12, 16, 19, 22}) {
        for (int index = 0; index <= 10; ++index)
            EXPECT_FALSE(CatalogueMessage(language, index).isEmpty()) << language * 100 + index;
        EXPECT_TRUE(CatalogueMessage(language, 10).contains("%s")) << "speed of " << language;
        EXPECT_TRUE(CatalogueMessage(language, 11).isEmpty());
        EXPECT_TRUE(CatalogueMessage(language, -1).isEmpty());
    }
    for (int language : {0, 1, 8, 13, 99, 1036})
        EXPECT_TRUE(CatalogueMessage(language, 2).isEmpty()) << language;
}

TEST(CatalogueTest, LocalesMapToTheirLanguageNumber)
{
    const std::pair<const char *, int> cases[] = {
        {"fr_FR", 12}, {"fr_CA", 12}, {"ja_JP", 12}, {"C", 12},    {"en_US", 9},
        {"en_GB", 9},  {"de_DE", 7},  {"de_CH", 7},  {"es_MX", 10}, {"it_IT", 16},
        {"nl_BE", 19}, {"pt_BR", 22}, {"pt_PT", 22}, {"ru_RU", 12},
    };
    for (const auto &[name, number] : cases)
        EXPECT_EQ(languageNumberOf(QLocale(QString::fromLatin1(name))), number) << name;
}

} // namespace
