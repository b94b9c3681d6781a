#include "catalogue.h"

#include "languages.h"

#include <QLocale>

#include <array>

namespace {

constexpr int MessageCount = 11;

struct Block
{
    int languageNumber;
    std::array<const char16_t *, MessageCount> texts;
};

// Each line is the text exactly as the user sees it: some end in a blank on purpose, since the
// dialog appends the version straight after message 7.
constexpr Block Blocks[] = {
    {12, // French
     {
         u"Téléchargement de mise à jour...",
         u"Connexion Internet active, Initialisation en cours...",
         u"Vérification des mises à jour...",
         u"Pas de Connexion Internet active",
         u"Lecture impossible ou fichier inexistant sur le serveur !",
         u"Votre programme est à jour !",
         u"Téléchargement en cours...",
         u"Nouvelle version : ",
         u"Téléchargement terminé avec succès.",
         u"Vitesse de téléchargement : 0 Ko/s ",
         u"Vitesse de téléchargement : %s Ko/s",
     }},
    {9, // English
     {
         u"Update download...",
         u"Active Internet connection, Initialization in progress...",
         u"Update control...",
         u"No Active Internet connection",
         u"Reading impossible or nonexistent file on the server!",
         u"Your program is up to date!",
         u"Download in progress...",
         u"New version : ",
         u"Download finished with.",
         u"Speed download: 0 Kb/s ",
         u"Speed download: %s Kb/s",
     }},
    {7, // German
     {
         u"Update wird heruntergeladen ...",
         u"Aktive Internetverbindung, Initializing ...",
         u"Suche nach Updates ...",
         u"Kein aktiver Internet-Verbindung",
         u"Playing unmöglich oder nicht vorhandene Datei auf dem Server!",
         u"Ihr Programm ist up to date!",
         u"Herunterladen ...",
         u"Neue Version",
         u"Herunterladen erfolgreich abgeschlossen.",
         u"Herunterladen-Geschwindigkeit: 0 KB / sec",
         u"Herunterladen-Geschwindigkeit: %s KB / s",
     }},
    {10, // Spanish
     {
         u"Descarga de actualización ...",
         u"Activo conexión a Internet, Inicializando ...",
         u"Buscando actualizaciones ...",
         u"N activa de conexión a Internet",
         u"No se puede reproducir o archivo no existente en el servidor!",
         u"El programa está al día!",
         u"Descarga de ...",
         u"Nueva versión",
         u"Descarga completa con éxito.",
         u"Velocidad de descarga: 0 KB / sec",
         u"Velocidad de descarga: %s KB / s",
     }},
    {16, // Italian
     {
         u"Downloading update ...",
         u"Active connessione a Internet, Inizializzazione ...",
         u"Controllo aggiornamenti ...",
         u"Nessuna connessione a Internet attiva",
         u"Impossibile riprodurre o file inesistente sul server!",
         u"Il vostro programma è aggiornato!",
         u"Downloading ...",
         u"nuova versione : ",
         u"Download completato con successo.",
         u"Velocità di download: 0 Kb / sec",
         u"Velocità di download: %s Kb / s",
     }},
    {19, // Dutch
     {
         u"Downloading update ...",
         u"Active internetverbinding, initialiseren ...",
         u"Controleren op updates ...",
         u"Geen actieve internetverbinding",
         u"Kan niet spelen of niet-bestaand bestand op de server!",
         u"Uw programma is up to date!",
         u"Downloading ...",
         u"Nieuwe versie",
         u"Download voltooid.",
         u"Download Snelheid: 0 KB / sec",
         u"Download Snelheid: %s KB / sec",
     }},
    {22, // Portuguese
     {
         u"Baixar atualização ...",
         u"ligação à Internet, Inicializando ...",
         u"Verificar atualizações ...",
         u"Não Activo conexão com a Internet",
         u"Lendo arquivo impossível ou inexistente no servidor!",
         u"Seu programa é atualizado!",
         u"Baixando ...",
         u"Nova versão",
         u"Baixar concluído com êxito.",
         u"Velocidade de Baixar:  0 KB / sec",
         u"Velocidade de Baixar: %s KB / sec",
     }},
};

} // namespace

int languageNumberOf(const QLocale &locale)
{
    for (const LanguageEntry &language : Languages)
        if (language.locale == locale.language())
            return language.catalogueNumber;
    // Portuguese has a block of its own though it is no interface language.
    return locale.language() == QLocale::Portuguese ? 22 : 12; // French, and every other language
}

int SystemLanguageNumber()
{
    return languageNumberOf(QLocale::system());
}

QString CatalogueMessage(int languageNumber, int index)
{
    if (index < 0 || index >= MessageCount)
        return {};
    for (const Block &block : Blocks) {
        if (block.languageNumber == languageNumber)
            return QString::fromUtf16(block.texts[size_t(index)]);
    }
    return {};
}
