// The search's plain-text pass over RTF memos, on any bytes.
#include "rtfplaintext.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static RtfPlainText reader; // as the search keeps one, with the code pages it met
    (void)reader.read(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
