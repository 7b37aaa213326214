#pragma once

#include <QMetaType>
#include <QSize>
#include <QString>
#include <QStringList>

// What an open camera's stream is doing, as the camera page shows it. The device stays
// open in every state but Closed, so its controls work whatever the picture does.
struct IStreamState
{
    enum Kind {
        Streaming,  // frames flow
        Released,   // no preview seen for a while: buffers freed, nothing streams
        Busy,       // another program streams the device; retried every second while seen
        Failed,     // the driver ended the stream with an error; retried with backoff
        Closed,     // hidden a while longer: no handle at all, reopened when seen again
    };

    Kind kind = Streaming;
    QStringList holders;  // Busy: the programs seen holding the device
    QSize deviceSize;     // Busy: the size the device is set to now (by its holder)
    QString reason;       // Failed: why

    bool operator==(const IStreamState& o) const
    {
        return kind == o.kind && holders == o.holders && deviceSize == o.deviceSize && reason == o.reason;
    }
    bool operator!=(const IStreamState& o) const { return !(*this == o); }

    static void registerMetaType();
};

Q_DECLARE_METATYPE(IStreamState)
