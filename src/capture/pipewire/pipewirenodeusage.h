#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

namespace capture {

// Which client applications PipeWire has linked to each camera node, read from the
// daemon's registry (nodes, links, clients): the daemon reports every change, nothing is
// polled. A camera another program streams through PipeWire is opened by the daemon, so
// its node's holders would otherwise all be "pipewire". This process is never counted.
// Without a daemon it stays silent and knows of nothing; one that ends takes what it
// knew along (changed()), and the next one is followed once its socket is there.
class PipeWireNodeUsage : public QObject
{
    Q_OBJECT
public:
    explicit PipeWireNodeUsage(QObject* parent = nullptr);
    ~PipeWireNodeUsage() override;

    // Whether a daemon is connected: then its own processes holding a device node are not
    // programs using the camera.
    bool connected() const;
    // The applications linked to the camera node that streams from the V4L2 node `device`
    // ("/dev/video0") or that is named `device` (node.name); in the order they linked.
    QStringList clientsOf(const QString& device) const;
    // Names of the daemon's own processes, which open a camera's node for its clients.
    static bool isDaemonProcess(const QString& name);

    struct Impl;

signals:
    // On the thread this object lives on, after any change of links, nodes or clients.
    void changed();

private:
    std::unique_ptr<Impl> d;
};

} // namespace capture
