// Cards from files that other programs wrote, into the shipped address book: what lands in each
// field, what goes to the notes, and the files that must be refused with nothing stored.
#include "exchangetestutil.h"

using namespace exchange;
using namespace exchangetest;

namespace {

struct CorpusCase
{
    const char *name;
    const char *file;
    QByteArray bytes;
    std::vector<std::pair<CardField, QString>> fields; // of the first card
    QStringList noteLines;                              // lines the notes must hold
    int binaryLeftOut = 0;
};

class CardCorpus : public ::testing::TestWithParam<CorpusCase>
{};

TEST_P(CardCorpus, ImportsEveryValueIntoItsFieldOrTheNotes)
{
    const CorpusCase &c = GetParam();
    DataFolder data;
    CardBook book(data.path());
    const ImportReport report = importCardFile(book, data.write(c.file, c.bytes), defaultCardLabels());
    EXPECT_EQ(report.stored, 1);
    EXPECT_EQ(report.binaryLeftOut, c.binaryLeftOut);
    const QList<ContactCard> cards = book.cards();
    ASSERT_EQ(cards.size(), 1);
    for (const auto &[field, value] : c.fields)
        EXPECT_EQ(cards[0][field], value) << CardFieldNames[field];
    const QStringList notes = cards[0][Notes].split(QLatin1Char('\n'));
    for (const QString &line : c.noteLines)
        EXPECT_TRUE(notes.contains(line)) << line.toStdString() << " not in\n" << cards[0][Notes].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    FilesOfOtherPrograms, CardCorpus,
    ::testing::Values(
        CorpusCase{"vCard21QuotedPrintableLatin1", "phone.vcf",
                   "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                   "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:L=E9vesque;Ren=E9\r\n"
                   "FN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Ren=E9 L=E9vesque\r\n"
                   "TEL;HOME;VOICE:+33 1 23 45 67 89\r\nTEL;CELL:06 12 34 56 78\r\n"
                   "TEL;WORK;FAX:01 98 76 54 32\r\n"
                   "ADR;HOME;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:;;12 rue de la Gar=\r\n"
                   "e;Orl=E9ans;;45000;France\r\n"
                   "EMAIL;INTERNET:rene@example.fr\r\n"
                   "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Premi=E8re=0D=0ADeuxi=E8me\r\n"
                   "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD\r\n"
                   "AAQSkZJRgABAQEASABIAAD/9j/4\r\n\r\n"
                   "END:VCARD\r\n",
                   {{Nom, "Lévesque"}, {Prenom, "René"}, {Tel, "+33 1 23 45 67 89"},
                    {Mobile, "06 12 34 56 78"}, {Fax, "01 98 76 54 32"},
                    {Adresse, "12 rue de la Gare"}, {Ville, "Orléans"}, {Cp, "45000"},
                    {Pays, "France"}, {Email, "rene@example.fr"}},
                   {"Première", "Deuxième"}, 1},
        CorpusCase{"vCard21QuotedPrintableNulKeptAsTyped", "nul.vcf",
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Nul;Zoe\r\n"
                   "NOTE;ENCODING=QUOTED-PRINTABLE:avant=00apres\r\nEND:VCARD\r\n",
                   {{Nom, "Nul"}, {Prenom, "Zoe"}},
                   {"avant=00apres"}},
        CorpusCase{"vCard30Folded", "mail.vcf",
                   "BEGIN:VCARD\nVERSION:3.0\nN:Dupont;Jean;;;\nFN:Jean Dupont\nORG:ACME\n"
                   "TEL;TYPE=WORK,VOICE:+33 4 00 00 00 00\nTEL;TYPE=HOME,VOICE:+33 4 11 11 11 11\n"
                   "EMAIL;TYPE=INTERNET:jd@example.net\nEMAIL;TYPE=INTERNET,PREF:jean@example.org\n"
                   "item1.URL:https://exa\n mple.org/jean\n"
                   "NOTE:Aime le caf\xC3\xA9\\, le th\xC3\xA9\\; et\\nles livres longtemps\\, tr\n \xC3\xA8s\n"
                   "BDAY:1970-01-01\nEND:VCARD\n",
                   {{Nom, "Dupont"}, {Prenom, "Jean"}, {Tel, "+33 4 00 00 00 00"},
                    {Email, "jean@example.org"}, {Web, "https://example.org/jean"}},
                   {"Aime le café, le thé; et", "les livres longtemps, très",
                    "Téléphone (home) : +33 4 11 11 11 11", "Email : jd@example.net",
                    "Société : ACME", "Anniversaire : 1970-01-01"}},
        CorpusCase{"vCard40", "card.vcf",
                   "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Dr. Anna M\xC3\xBCller\r\nN:M\xC3\xBCller;Anna;;Dr.;\r\n"
                   "TEL;VALUE=uri;TYPE=\"cell,voice\":tel:+49-170-1234567\r\n"
                   "ADR;TYPE=work:;;Hauptstra\xC3\x9F" "e 5;Berlin;Berlin;10115;Deutschland\r\n"
                   "EMAIL:anna@example.de\r\nPHOTO:data:image/png;base64,iVBORw0KGgo=\r\n"
                   "END:VCARD\r\n",
                   {{Nom, "Müller"}, {Prenom, "Anna"}, {Mobile, "+49-170-1234567"},
                    {Adresse, "Hauptstraße 5"}, {Ville, "Berlin"}, {Cp, "10115"}, {Pays, "Deutschland"}},
                   {"Nom complet : Dr. Anna Müller", "Région : Berlin"}, 1},
        CorpusCase{"CsvWithBomAndSemicolons", "outlook-fr.csv",
                   "\xEF\xBB\xBFPr\xC3\xA9nom;Nom;Rue (domicile);Ville (domicile);Code postal (domicile);"
                   "T\xC3\xA9l\xC3\xA9phone mobile;Adresse de messagerie;Notes\r\n"
                   "\xC3\x89lodie;Martin;\"3; place du March\xC3\xA9\";Lyon;69002;06 00 00 00 01;"
                   "elodie@example.fr;\"deux\r\nlignes \"\"dites\"\"\"\r\n",
                   {{Prenom, "Élodie"}, {Nom, "Martin"}, {Adresse, "3; place du Marché"},
                    {Ville, "Lyon"}, {Cp, "69002"}, {Mobile, "06 00 00 00 01"},
                    {Email, "elodie@example.fr"}},
                   {"deux", "lignes \"dites\""}},
        CorpusCase{"CsvInWindows1252", "outlook.csv",
                   "First Name,Last Name,E-mail Address,Mobile Phone,Business Fax,Home Street,Birthday\r\n"
                   "Fran\xE7ois,C\xF4t\xE9,fc@example.com,555-0101,555-0102,\"1 Main St, Apt 2\",1/2/1980\r\n",
                   {{Prenom, "François"}, {Nom, "Côté"}, {Email, "fc@example.com"},
                    {Mobile, "555-0101"}, {Fax, "555-0102"}, {Adresse, "1 Main St, Apt 2"}},
                   {"Birthday : 1/2/1980"}}),
    [](const auto &info) { return std::string(info.param.name); });

struct BadFile
{
    const char *name;
    const char *file;
    QByteArray bytes;
    int line; // the message must name it
};

class RefusedFile : public ::testing::TestWithParam<BadFile>
{};

TEST_P(RefusedFile, StoresNothingAndNamesTheLine)
{
    const BadFile &c = GetParam();
    DataFolder data;
    CardBook book(data.path());
    try {
        importCardFile(book, data.write(c.file, c.bytes), defaultCardLabels());
        FAIL() << "the file was taken";
    } catch (const ExchangeError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Ligne %1 ").arg(c.line))) << e.what();
    }
    EXPECT_TRUE(book.cards().isEmpty());
}

const QByteArray kGoodCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Bon;Jean\r\nEND:VCARD\r\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedFile,
    ::testing::Values(
        BadFile{"Binary", "a.vcf", kGoodCard + "BEGIN:VCARD\r\nN:A;B\r\nPHOTO:" + QByteArray(1, '\0') + "\x01\r\nEND:VCARD\r\n", 7},
        BadFile{"CardWithoutEnd", "b.vcf", kGoodCard + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Seul;Paul\r\n", 5},
        BadFile{"NotAVCard", "c.vcf", "Bonjour,\r\nceci est une lettre.\r\n", 1},
        BadFile{"UnbalancedQuotes", "d.csv", "Nom,Notes\r\nA,ok\r\nB,\"jamais ferm\xC3\xA9\r\nC,x\r\n", 3},
        BadFile{"CsvWithoutKnownColumns", "e.csv", "alpha,beta\r\n1,2\r\n", 1},
        BadFile{"CharactersTheTableCannotHold", "f.vcf",
                kGoodCard + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xB2;\r\nEND:VCARD\r\n", 5}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CardImport, LongValuesStayWholeInTheNotesAndRepeatedCardsAreSkipped)
{
    DataFolder data;
    CardBook book(data.path());
    const QString street = QString(QLatin1Char('r')).repeated(130);
    ContactCard jean = card({{Prenom, "Jean"}, {Nom, "Dupont"}, {Adresse, street}, {Notes, "ami"}});
    jean.extras.append({QStringLiteral("Anniversaire"), QStringLiteral("1970-01-01")});
    jean.extras.append({QStringLiteral("home"), QStringLiteral("x@example.org"), Email});
    ImportReport first = book.import({jean, card({{Nom, "Seul"}})});
    EXPECT_EQ(first.stored, 2);
    EXPECT_EQ(first.intoNotes, (QStringList{"Jean Dupont : Adresse", "Jean Dupont : Anniversaire",
                                            "Jean Dupont : Email (home)"}));

    // The same cards again, once more in the same file: all skipped, nothing added.
    ImportReport again = book.import({jean, card({{Nom, "Seul"}}), jean});
    EXPECT_EQ(again.stored, 0);
    EXPECT_EQ(again.skipped, 3);

    const QList<ContactCard> cards = book.cards();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0][Adresse], street.left(120));
    EXPECT_EQ(cards[0][Notes], "ami\nAdresse : " + street
                                   + "\nAnniversaire : 1970-01-01\nEmail (home) : x@example.org");
}

} // namespace
