// The RTF reader on any bytes, then our own writer and reader on what it made: whatever a memo
// holds, reading it never fails, and what we write we read back as RTF with the same text.
#include "fuzzqt.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::qtApplication();
    QTextDocument doc;
    RtfReader::readAny(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), &doc);
    const QByteArray written = RtfWriter::write(&doc);
    QTextDocument again;
    if (!RtfReader::read(written, &again))
        std::abort(); // the writer's own output is not RTF
    return 0;
}
