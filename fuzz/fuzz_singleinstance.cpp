// The running copy's side of the single-instance channel: bytes from an unknown client,
// arriving in pieces of any size, are read the way the server reads them.
#include "fuzzsupport.h"
#include "base/isingleapplication.h"

#include <QByteArray>
#include <QString>

using Frame = ISingleApplication::Frame;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the piece size, the rest is what the client sends.
    const int piece = 1 + data[0] % 64;
    const QByteArray sent(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const int cap = ISingleApplication::kMaxMessageBytes + 4;  // the server buffers at most one largest frame

    QByteArray buffered;
    Frame last = Frame::Incomplete;
    QString message;
    for (int at = 0; at < sent.size() && buffered.size() < cap; at += piece) {
        buffered += sent.mid(at, qMin(piece, cap - buffered.size()));
        QString m;
        const Frame f = ISingleApplication::parseFrame(buffered, &m);
        // More bytes never turn a decided frame back into an undecided one or change it.
        if (last != Frame::Incomplete) {
            fuzzsupport::check(f == last, "decision changed by later bytes");
            if (f == Frame::Complete)
                fuzzsupport::check(m == message, "message changed by later bytes");
        }
        if (f == Frame::Complete)
            message = m;
        last = f;
        if (f == Frame::Invalid)
            break;
    }

    if (last == Frame::Complete) {
        fuzzsupport::check(message.toUtf8().size() <= 3 * ISingleApplication::kMaxMessageBytes, "message too large");
        // What a client would have sent for this text reads back as the same text.
        const QByteArray again = ISingleApplication::makeFrame(message);
        QString back;
        if (again.size() - 4 <= ISingleApplication::kMaxMessageBytes) {
            fuzzsupport::check(ISingleApplication::parseFrame(again, &back) == Frame::Complete, "own frame refused");
            fuzzsupport::check(back == message, "own frame altered");
        }
    }
    return 0;
}
