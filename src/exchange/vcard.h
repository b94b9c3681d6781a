// vCard files in and out of the address book: read versions 2.1, 3.0 and 4.0, write 4.0.
//
//     const exchange::ReadCards read = exchange::readVCards(fileBytes);
//     if (!read.ok())
//         report(read.errorLine, read.error);           // nothing was taken
//     QByteArray out = exchange::writeVCards(cards);    // UTF-8, CR LF, folded at 75 bytes
//
// readVCards never throws and takes any bytes (fuzzers feed it directly): a file is either read
// whole or refused with the line of its first fault.
#pragma once

#include "contactcard.h"

#include <QByteArray>
#include <QByteArrayView>

namespace exchange {

ReadCards readVCards(QByteArrayView bytes);
QByteArray writeVCards(const QList<ContactCard> &cards);

} // namespace exchange
