// The version file fetched from the update server, on any bytes.
#include "fuzzsupport.h"
#include "profilestring.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::scratch() + "uvelmora.ini";
    fuzz::writeFile(path, std::string_view(reinterpret_cast<const char *>(data), size));
    const QString file = QString::fromStdString(path);
    for (const char *key : {"version", "text", "sha256", "size"})
        (void)profileText(readProfileString(file, "options", key));
    return 0;
}
