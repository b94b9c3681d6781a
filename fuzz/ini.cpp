// The settings file on any bytes: read, one key written, read again. Writing one key must leave
// every other key reading as it did, and the key written must read back as written.
#include "fuzzsupport.h"
#include "inifile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::scratch() + "velmora.ini";
    fuzz::writeFile(path, std::string_view(reinterpret_cast<const char *>(data), size));
    IniFile ini(QString::fromStdString(path));
    const QString section = QStringLiteral("options");
    const QString lng = ini.readString(section, QStringLiteral("lng"));
    const QString place = ini.readString(QStringLiteral("place"), QStringLiteral("NormPos"));
    (void)ini.readInteger(section, QStringLiteral("MAJ"), -1);
    try {
        ini.writeString(section, QStringLiteral("ico"), QStringLiteral("yes"));
    } catch (const std::exception &) {
        return 0;
    }
    if (ini.readString(section, QStringLiteral("ico")) != QLatin1String("yes"))
        std::abort(); // the key written does not read back
    if (ini.readString(section, QStringLiteral("lng")) != lng
        || ini.readString(QStringLiteral("place"), QStringLiteral("NormPos")) != place)
        std::abort(); // writing one key changed another
    return 0;
}
