#pragma once

#include "capture/pipewire/pipewirenode.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;
struct spa_pod;

namespace capture {

// One connection to the PipeWire daemon, its loop on a thread of its own: follows the
// registry's camera nodes and their output ports, and asks objects for parameters.
// Lock order: the loop's lock before m_mutex; m_mutex is never held while waiting.
class PipeWireConnection
{
public:
    using NodeListener = std::function<void(const PipeWireNode& node, bool arrived)>;
    // Once `up` when the daemon first answered; once not, when the connection ends or
    // never came up (`served`: it had been up).
    using StateListener = std::function<void(bool up, bool served)>;

    // Null, at once and without a word, when no daemon listens (no socket). Otherwise
    // connects on its own thread; one that refuses leaves a connection that is not
    // alive, with a log line unless `quiet`. The listeners run on the loop thread.
    static std::shared_ptr<PipeWireConnection> connect(NodeListener listener, bool quiet = false,
                                                       StateListener state = nullptr);
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    // Sets the PipeWire library up once per process; before any other call into it.
    static void initLibrary();
    // Held around every call that makes a PipeWire context or connects one: the library
    // reads the user's name with getpwuid(), which is unsafe beside another such call.
    // A leaf: taken with a loop's lock held, never the other way round.
    static std::mutex& clientSetUpMutex();
    // The socket PipeWire clients connect to, told apart from an earlier one at the
    // same place (inode and time); 0 when there is none.
    static std::uint64_t socketIdentity();
    // Where that socket is, as libpipewire finds it; empty when it cannot be anywhere.
    static QByteArray socketPath();

    // Waits (at most `ms`) until the camera nodes present at connection time are known.
    bool waitUntilListed(int ms);
    bool alive() const;
    std::vector<PipeWireNode> nodes() const;
    bool node(const QString& name, PipeWireNode& out) const;
    bool hasNode(std::uint32_t id) const;

    // The parameters of kind `paramId` a node (or, with `port`, the node's output port)
    // offers, each a copy of its pod; empty when it offers none or the call times out.
    std::vector<std::vector<std::uint8_t>> enumParams(std::uint32_t nodeId, bool port, std::uint32_t paramId, int timeoutMs);
    bool setNodeParam(std::uint32_t nodeId, std::uint32_t paramId, const spa_pod* param);
    // The last value of a node's property set through this connection (by any device on
    // it), for nodes that do not report what they took; forgotten when the node goes.
    void setTakenValue(std::uint32_t nodeId, std::uint32_t propId, long value);
    bool takenValue(std::uint32_t nodeId, std::uint32_t propId, long& value) const;

    struct Impl;

private:
    PipeWireConnection();
    std::unique_ptr<Impl> d;
};

} // namespace capture
