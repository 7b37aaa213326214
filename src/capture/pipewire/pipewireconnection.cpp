#include "capture/pipewire/pipewireconnection.h"

#include "capture/pipewire/pipewireformat.h"

#include <QDebug>

#include <pipewire/pipewire.h>
#include <spa/utils/result.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>
#include <thread>

namespace capture {

namespace {

QString prop(const spa_dict* props, const char* key)
{
    const char* v = props ? spa_dict_lookup(props, key) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

// A bound proxy and its listener, freed together.
struct Proxy
{
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    ~Proxy()
    {
        if (proxy) {
            spa_hook_remove(&listener);
            pw_proxy_destroy(proxy);
        }
    }
};

} // namespace

struct PipeWireConnection::Impl
{
    struct Candidate
    {
        Impl* impl = nullptr;
        std::uint32_t id = 0;
        Proxy node;
        bool announced = false;
    };

    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    NodeListener listener;
    StateListener stateListener;
    bool served = false;  // loop thread: the daemon answered
    bool quiet = false;
    QString daemonVersion;  // loop thread

    void setUp();  // with the loop's lock held

    // Loop thread only (and callers holding the loop's lock).
    std::map<std::uint32_t, std::unique_ptr<Candidate>> candidates;  // Video/Source nodes
    std::set<int> doneSeqs;
    int listSeq = 0;
    int listRound = 0;

    mutable std::mutex mutex;  // guards what other threads read without the loop's lock
    std::map<std::uint32_t, PipeWireNode> cameras;
    std::map<std::uint32_t, std::uint32_t> outputPorts;  // node id -> its output port
    std::map<std::pair<std::uint32_t, std::uint32_t>, long> taken;  // (node, property) -> value set
    bool listed = false;
    bool dead = false;

    void announce(const PipeWireNode& node, bool arrived)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (arrived) {
                cameras[node.id] = node;
            } else {
                cameras.erase(node.id);
                taken.erase(taken.lower_bound({node.id, 0}), taken.upper_bound({node.id, UINT32_MAX}));
            }
        }
        if (listener)
            listener(node, arrived);
    }

    // Waits with the loop's lock held until `seq` is answered.
    bool waitFor(int seq, int timeoutMs)
    {
        timespec deadline;
        pw_thread_loop_get_time(loop, &deadline, std::int64_t(timeoutMs) * SPA_NSEC_PER_MSEC);
        while (!doneSeqs.count(seq) && !dead) {
            if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0)
                break;
        }
        return doneSeqs.erase(seq) > 0;
    }
};

namespace {

void onNodeInfo(void* data, const pw_node_info* info)
{
    auto* c = static_cast<PipeWireConnection::Impl::Candidate*>(data);
    if (c->announced || !(info->change_mask & PW_NODE_CHANGE_MASK_PROPS))
        return;
    PipeWireNode node;
    if (!PipeWireNode::fromProps(info->props, c->impl->daemonVersion, node))
        return;
    node.id = c->id;
    c->announced = true;
    c->impl->announce(node, true);
}

const pw_node_events kNodeEvents = [] {
    pw_node_events e{};
    e.version = PW_VERSION_NODE_EVENTS;
    e.info = onNodeInfo;
    return e;
}();

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t, const spa_dict* props)
{
    auto* d = static_cast<PipeWireConnection::Impl*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
        if (prop(props, PW_KEY_PORT_DIRECTION) == QLatin1String("out")) {
            bool ok = false;
            const std::uint32_t nodeId = prop(props, PW_KEY_NODE_ID).toUInt(&ok);
            std::lock_guard<std::mutex> lock(d->mutex);
            if (ok && !d->outputPorts.count(nodeId))
                d->outputPorts[nodeId] = id;
        }
        return;
    }
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || prop(props, PW_KEY_MEDIA_CLASS) != QLatin1String("Video/Source"))
        return;
    // The registry shows only a few properties; the node's own tell what it is.
    auto c = std::make_unique<PipeWireConnection::Impl::Candidate>();
    c->impl = d;
    c->id = id;
    c->node.proxy = static_cast<pw_proxy*>(pw_registry_bind(d->registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
    if (!c->node.proxy)
        return;
    pw_proxy_add_object_listener(c->node.proxy, &c->node.listener, &kNodeEvents, c.get());
    d->candidates[id] = std::move(c);
}

void onGlobalRemove(void* data, std::uint32_t id)
{
    auto* d = static_cast<PipeWireConnection::Impl*>(data);
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        for (auto it = d->outputPorts.begin(); it != d->outputPorts.end();) {
            if (it->second == id || it->first == id)
                it = d->outputPorts.erase(it);
            else
                ++it;
        }
    }
    const auto it = d->candidates.find(id);
    if (it == d->candidates.end())
        return;
    const bool announced = it->second->announced;
    d->candidates.erase(it);
    if (!announced)
        return;
    PipeWireNode node;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        const auto c = d->cameras.find(id);
        if (c == d->cameras.end())
            return;
        node = c->second;
    }
    d->announce(node, false);
}

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events e{};
    e.version = PW_VERSION_REGISTRY_EVENTS;
    e.global = onGlobal;
    e.global_remove = onGlobalRemove;
    return e;
}();

void onCoreDone(void* data, std::uint32_t id, int seq)
{
    auto* d = static_cast<PipeWireConnection::Impl*>(data);
    if (id != PW_ID_CORE)
        return;
    if (seq == d->listSeq && !d->listed) {
        // First answer: every node is known and bound; the second: their properties are in.
        if (++d->listRound == 1) {
            d->listSeq = pw_core_sync(d->core, PW_ID_CORE, 0);
            d->served = true;
            if (d->stateListener)
                d->stateListener(true, true);
        } else {
            std::lock_guard<std::mutex> lock(d->mutex);
            d->listed = true;
        }
    } else {
        d->doneSeqs.insert(seq);
    }
    pw_thread_loop_signal(d->loop, false);
}

void onCoreInfo(void* data, const pw_core_info* info)
{
    // The plugins that make camera nodes come with the daemon: its version stands for theirs.
    if (info && info->version)
        static_cast<PipeWireConnection::Impl*>(data)->daemonVersion = QString::fromUtf8(info->version);
}

void onCoreError(void* data, std::uint32_t id, int, int res, const char* message)
{
    auto* d = static_cast<PipeWireConnection::Impl*>(data);
    if (id != PW_ID_CORE || res != -EPIPE)
        return;
    std::vector<PipeWireNode> gone;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->dead)
            return;
        d->dead = true;
        d->listed = true;
        for (const auto& c : d->cameras)
            gone.push_back(c.second);
    }
    qDebug() << "PipeWire: the connection to the daemon ended:" << message;
    d->candidates.clear();
    for (const PipeWireNode& node : gone)
        d->announce(node, false);
    if (d->stateListener)
        d->stateListener(false, d->served);
    pw_thread_loop_signal(d->loop, false);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.info = onCoreInfo;
    e.done = onCoreDone;
    e.error = onCoreError;
    return e;
}();

struct ParamCollector
{
    std::vector<std::vector<std::uint8_t>> params;
};

void onParam(void* data, int, std::uint32_t, std::uint32_t, std::uint32_t, const spa_pod* param)
{
    if (!param)
        return;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(param);
    static_cast<ParamCollector*>(data)->params.emplace_back(bytes, bytes + SPA_POD_SIZE(param));
}

} // namespace

void PipeWireConnection::initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

QByteArray PipeWireConnection::socketPath()
{
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    QByteArray path = remote && *remote ? QByteArray(remote) : QByteArray(PW_DEFAULT_REMOTE);
    if (!path.startsWith('/')) {
        const char* dir = std::getenv("PIPEWIRE_RUNTIME_DIR");
        if (!dir || !*dir)
            dir = std::getenv("XDG_RUNTIME_DIR");
        if (!dir || !*dir)
            return QByteArray();
        path = QByteArray(dir) + '/' + path;
    }
    return path;
}

std::mutex& PipeWireConnection::clientSetUpMutex()
{
    static std::mutex m;
    return m;
}

std::uint64_t PipeWireConnection::socketIdentity()
{
    const QByteArray path = socketPath();
    struct stat st;
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return 0;
    return (std::uint64_t(st.st_ino) << 32) ^ std::uint64_t(st.st_mtim.tv_sec) ^ std::uint64_t(st.st_mtim.tv_nsec) ^ 1;
}

PipeWireConnection::PipeWireConnection()
    : d(std::make_unique<Impl>())
{
}

std::shared_ptr<PipeWireConnection> PipeWireConnection::connect(NodeListener listener, bool quiet, StateListener state)
{
    if (!socketIdentity())
        return nullptr;
    initLibrary();

    std::shared_ptr<PipeWireConnection> c(new PipeWireConnection);
    Impl* d = c->d.get();
    d->listener = std::move(listener);
    d->stateListener = std::move(state);
    d->quiet = quiet;
    d->loop = pw_thread_loop_new("lumivo-pw", nullptr);
    if (!d->loop || pw_thread_loop_start(d->loop) < 0) {
        qDebug() << "PipeWire: cannot start a client thread:" << std::strerror(errno);
        return nullptr;
    }
    // The client is set up and connected beside the caller: start-up never waits for it.
    try {
        std::thread([c] {
            pw_thread_loop_lock(c->d->loop);
            c->d->setUp();
            pw_thread_loop_unlock(c->d->loop);
        }).detach();
    } catch (const std::system_error& e) {
        qDebug() << "PipeWire: cannot start a client thread:" << e.what();
        return nullptr;
    }
    return c;
}

void PipeWireConnection::Impl::setUp()
{
    int err = 0;
    {
        std::lock_guard<std::mutex> lock(clientSetUpMutex());
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
        err = errno;
    }
    if (!core) {
        if (!quiet)
            qDebug() << "PipeWire: cannot connect to the daemon:" << std::strerror(err);
        {
            std::lock_guard<std::mutex> lock(mutex);
            dead = true;
            listed = true;
        }
        if (stateListener)
            stateListener(false, false);
        pw_thread_loop_signal(loop, false);
        return;
    }
    qDebug() << "PipeWire: connected; cameras it offers are shared with its other clients";
    pw_core_add_listener(core, &coreListener, &kCoreEvents, this);
    registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, this);
    listSeq = pw_core_sync(core, PW_ID_CORE, 0);
}

PipeWireConnection::~PipeWireConnection()
{
    if (!d->loop)
        return;
    pw_thread_loop_lock(d->loop);  // also waits for a set-up under way
    d->candidates.clear();
    if (d->registry) {
        spa_hook_remove(&d->registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(d->registry));
        d->registry = nullptr;
    }
    if (d->core) {
        spa_hook_remove(&d->coreListener);
        pw_core_disconnect(d->core);
        d->core = nullptr;
    }
    pw_thread_loop_unlock(d->loop);
    pw_thread_loop_stop(d->loop);
    if (d->core)  // set up while the thread was ending
        pw_core_disconnect(d->core);
    if (d->context)
        pw_context_destroy(d->context);
    pw_thread_loop_destroy(d->loop);
}

bool PipeWireConnection::waitUntilListed(int ms)
{
    pw_thread_loop_lock(d->loop);
    timespec deadline;
    pw_thread_loop_get_time(d->loop, &deadline, std::int64_t(ms) * SPA_NSEC_PER_MSEC);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            if (d->listed)
                break;
        }
        if (pw_thread_loop_timed_wait_full(d->loop, &deadline) != 0)
            break;
    }
    pw_thread_loop_unlock(d->loop);
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->listed;
}

bool PipeWireConnection::alive() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return !d->dead;
}

std::vector<PipeWireNode> PipeWireConnection::nodes() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<PipeWireNode> out;
    for (const auto& c : d->cameras)
        out.push_back(c.second);
    return out;
}

bool PipeWireConnection::node(const QString& name, PipeWireNode& out) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    for (const auto& c : d->cameras) {
        if (c.second.name == name) {
            out = c.second;
            return true;
        }
    }
    return false;
}

bool PipeWireConnection::hasNode(std::uint32_t id) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return !d->dead && d->cameras.count(id);
}

std::vector<std::vector<std::uint8_t>> PipeWireConnection::enumParams(std::uint32_t nodeId, bool port, std::uint32_t paramId, int timeoutMs)
{
    ParamCollector collected;
    pw_thread_loop_lock(d->loop);
    std::uint32_t target = nodeId;
    bool known;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        known = !d->dead;
        if (port) {
            const auto it = d->outputPorts.find(nodeId);
            known = known && it != d->outputPorts.end();
            if (known)
                target = it->second;
        }
    }
    if (known) {
        Proxy p;
        p.proxy = static_cast<pw_proxy*>(pw_registry_bind(d->registry, target, port ? PW_TYPE_INTERFACE_Port : PW_TYPE_INTERFACE_Node,
                                                          port ? PW_VERSION_PORT : PW_VERSION_NODE, 0));
        if (p.proxy) {
            if (port) {
                static const pw_port_events events = [] {
                    pw_port_events e{};
                    e.version = PW_VERSION_PORT_EVENTS;
                    e.param = onParam;
                    return e;
                }();
                pw_proxy_add_object_listener(p.proxy, &p.listener, &events, &collected);
                pw_port_enum_params(reinterpret_cast<pw_port*>(p.proxy), 0, paramId, 0, UINT32_MAX, nullptr);
            } else {
                static const pw_node_events events = [] {
                    pw_node_events e{};
                    e.version = PW_VERSION_NODE_EVENTS;
                    e.param = onParam;
                    return e;
                }();
                pw_proxy_add_object_listener(p.proxy, &p.listener, &events, &collected);
                pw_node_enum_params(reinterpret_cast<pw_node*>(p.proxy), 0, paramId, 0, UINT32_MAX, nullptr);
            }
            d->waitFor(pw_core_sync(d->core, PW_ID_CORE, 0), timeoutMs);
        }
    }
    pw_thread_loop_unlock(d->loop);
    return collected.params;
}

bool PipeWireConnection::setNodeParam(std::uint32_t nodeId, std::uint32_t paramId, const spa_pod* param)
{
    pw_thread_loop_lock(d->loop);
    bool done = false;
    if (alive()) {
        Proxy p;
        p.proxy = static_cast<pw_proxy*>(pw_registry_bind(d->registry, nodeId, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        if (p.proxy) {
            const int r = pw_node_set_param(reinterpret_cast<pw_node*>(p.proxy), paramId, 0, param);
            // A busy daemon answers late, yet has passed the value on: only a refusal or a
            // daemon that stays silent for long is a failure.
            done = r >= 0 && d->waitFor(pw_core_sync(d->core, PW_ID_CORE, 0), 5000);
        }
    }
    pw_thread_loop_unlock(d->loop);
    return done;
}

void PipeWireConnection::setTakenValue(std::uint32_t nodeId, std::uint32_t propId, long value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->taken[{nodeId, propId}] = value;
}

bool PipeWireConnection::takenValue(std::uint32_t nodeId, std::uint32_t propId, long& value) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const auto it = d->taken.find({nodeId, propId});
    if (it == d->taken.end())
        return false;
    value = it->second;
    return true;
}

} // namespace capture
