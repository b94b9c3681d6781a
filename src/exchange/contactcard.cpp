#include "contactcard.h"

namespace exchange {

CardLabels defaultCardLabels()
{
    return {QStringLiteral("Prénom"),    QStringLiteral("Nom"),    QStringLiteral("Adresse"),
            QStringLiteral("Ville"),     QStringLiteral("Code postal"), QStringLiteral("Pays"),
            QStringLiteral("Téléphone"), QStringLiteral("Fax"),    QStringLiteral("Mobile"),
            QStringLiteral("Email"),     QStringLiteral("Site web"), QStringLiteral("Notes")};
}

QString ContactCard::displayName() const
{
    const QString name = ((*this)[Prenom] + QLatin1Char(' ') + (*this)[Nom]).trimmed();
    if (!name.isEmpty())
        return name;
    for (const CardField f : {Email, Mobile, Tel})
        if (!(*this)[f].isEmpty())
            return (*this)[f];
    return {};
}

QString extraLabel(const CardExtra &extra, const CardLabels &labels)
{
    if (extra.field < 0)
        return extra.label;
    const QString &field = labels[static_cast<std::size_t>(extra.field)];
    return extra.label.isEmpty() ? field : field + QLatin1String(" (") + extra.label + QLatin1Char(')');
}

ReadCards ReadCards::refused(int line, const QString &message)
{
    ReadCards r;
    r.error = message;
    r.errorLine = line;
    return r;
}

} // namespace exchange
