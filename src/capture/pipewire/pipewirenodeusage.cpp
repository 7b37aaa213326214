#include "capture/pipewire/pipewirenodeusage.h"

#include "capture/pipewire/pipewireconnection.h"
#include "capture/pipewire/pipewiredaemonwatch.h"

#include <QDebug>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>

#include <pipewire/pipewire.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

namespace capture {

namespace {

QString prop(const spa_dict* props, const char* key)
{
    const char* v = props ? spa_dict_lookup(props, key) : nullptr;
    return v ? QString::fromUtf8(v) : QString();
}

std::uint32_t idProp(const spa_dict* props, const char* key)
{
    bool ok = false;
    const std::uint32_t id = prop(props, key).toUInt(&ok);
    return ok ? id : SPA_ID_INVALID;
}

} // namespace

struct PipeWireNodeUsage::Impl
{
    struct Client
    {
        Impl* impl = nullptr;
        std::uint32_t id = 0;
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
        QString name;
        bool self = false;
        ~Client()
        {
            if (proxy) {
                spa_hook_remove(&listener);
                pw_proxy_destroy(proxy);
            }
        }
    };
    struct Link
    {
        std::uint32_t output = SPA_ID_INVALID, input = SPA_ID_INVALID;
    };

    PipeWireNodeUsage* owner = nullptr;
    PipeWireDaemonWatch watch;
    int generation = 0;  // of the connection (owner's thread)
    bool wasLost = false;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    int syncSeq = 0;       // loop thread
    bool served = false;   // loop thread until it stops: the daemon answered

    void open();
    void close();
    void lost(bool hadServed);

    // Loop thread writes, any thread reads under the mutex. Lock order: the loop's lock first.
    mutable std::mutex mutex;
    std::map<std::uint32_t, QStringList> cameras;  // camera node -> its names (V4L2 node, node.name)
    std::map<std::uint32_t, std::uint32_t> nodeClients;  // node -> the client that made it
    std::map<std::uint32_t, Link> links;
    std::map<std::uint32_t, std::unique_ptr<Client>> clients;  // the loop's alone, names under the mutex

    void notify()
    {
        QMetaObject::invokeMethod(owner, [o = QPointer<PipeWireNodeUsage>(owner)] {
            if (o)
                emit o->changed();
        }, Qt::QueuedConnection);
    }
};

namespace {

void onClientInfo(void* data, const pw_client_info* info)
{
    auto* c = static_cast<PipeWireNodeUsage::Impl::Client*>(data);
    if (!(info->change_mask & PW_CLIENT_CHANGE_MASK_PROPS))
        return;
    QString name = prop(info->props, PW_KEY_APP_NAME);
    if (name.isEmpty())
        name = QFileInfo(prop(info->props, PW_KEY_APP_PROCESS_BINARY)).fileName();
    const QString pid = prop(info->props, PW_KEY_SEC_PID);
    {
        std::lock_guard<std::mutex> lock(c->impl->mutex);
        c->name = name;
        c->self = pid == QString::number(::getpid());
    }
    c->impl->notify();
}

const pw_client_events kClientEvents = [] {
    pw_client_events e{};
    e.version = PW_VERSION_CLIENT_EVENTS;
    e.info = onClientInfo;
    return e;
}();

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t, const spa_dict* props)
{
    auto* d = static_cast<PipeWireNodeUsage::Impl*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Client) == 0) {
        // The registry shows too little of a client; its info has the application's name.
        auto c = std::make_unique<PipeWireNodeUsage::Impl::Client>();
        c->impl = d;
        c->id = id;
        c->proxy = static_cast<pw_proxy*>(pw_registry_bind(d->registry, id, PW_TYPE_INTERFACE_Client, PW_VERSION_CLIENT, 0));
        if (!c->proxy)
            return;
        pw_proxy_add_object_listener(c->proxy, &c->listener, &kClientEvents, c.get());
        std::lock_guard<std::mutex> lock(d->mutex);
        d->clients[id] = std::move(c);
        return;
    }
    std::lock_guard<std::mutex> lock(d->mutex);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
        d->links[id] = {idProp(props, PW_KEY_LINK_OUTPUT_NODE), idProp(props, PW_KEY_LINK_INPUT_NODE)};
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
        const std::uint32_t client = idProp(props, PW_KEY_CLIENT_ID);
        if (client != SPA_ID_INVALID)
            d->nodeClients[id] = client;
        if (prop(props, PW_KEY_MEDIA_CLASS) == QLatin1String("Video/Source")) {
            QStringList names{prop(props, PW_KEY_NODE_NAME)};
            const QString path = prop(props, PW_KEY_OBJECT_PATH);
            if (path.startsWith(QLatin1String("v4l2:/dev/")))
                names << path.mid(5);
            d->cameras[id] = names;
        }
    } else {
        return;
    }
    d->notify();
}

void onGlobalRemove(void* data, std::uint32_t id)
{
    auto* d = static_cast<PipeWireNodeUsage::Impl*>(data);
    std::unique_ptr<PipeWireNodeUsage::Impl::Client> gone;  // its proxy goes outside the mutex
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        const bool known = d->links.erase(id) + d->nodeClients.erase(id) + d->cameras.erase(id) + d->clients.count(id);
        const auto c = d->clients.find(id);
        if (c != d->clients.end()) {
            gone = std::move(c->second);
            d->clients.erase(c);
        }
        if (!known)
            return;
    }
    d->notify();
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
    auto* d = static_cast<PipeWireNodeUsage::Impl*>(data);
    if (id == PW_ID_CORE && seq == d->syncSeq && !d->served) {
        d->served = true;
        QMetaObject::invokeMethod(&d->watch, &PipeWireDaemonWatch::connected, Qt::QueuedConnection);
    }
}

void onCoreError(void* data, std::uint32_t id, int, int res, const char*)
{
    auto* d = static_cast<PipeWireNodeUsage::Impl*>(data);
    if (id != PW_ID_CORE || res != -EPIPE)
        return;
    {
        // Nobody is named from here on, before the owner's thread tears the rest down.
        std::lock_guard<std::mutex> lock(d->mutex);
        d->links.clear();
        d->cameras.clear();
    }
    const bool served = d->served;
    // The owner owns `d`: alive with it.
    QMetaObject::invokeMethod(d->owner, [o = QPointer<PipeWireNodeUsage>(d->owner), d, generation = d->generation, served] {
        if (o && d->generation == generation)
            d->lost(served);
    }, Qt::QueuedConnection);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events e{};
    e.version = PW_VERSION_CORE_EVENTS;
    e.done = onCoreDone;
    e.error = onCoreError;
    return e;
}();

} // namespace

void PipeWireNodeUsage::Impl::open()
{
    if (loop)
        return;  // connected, or on the way
    ++generation;
    served = false;
    if (!PipeWireConnection::socketIdentity()) {
        watch.disconnected(false);  // no daemon yet: nothing to say, and no thread
        return;
    }
    PipeWireConnection::initLibrary();
    loop = pw_thread_loop_new("lumivo-pw-usage", nullptr);
    if (!loop) {
        qDebug() << "PipeWire: cannot follow which programs use its cameras";
        return;
    }
    pw_thread_loop_lock(loop);
    {
        std::lock_guard<std::mutex> setUp(PipeWireConnection::clientSetUpMutex());
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
    }
    if (core) {
        pw_core_add_listener(core, &coreListener, &kCoreEvents, this);
        registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
        pw_registry_add_listener(registry, &registryListener, &kRegistryEvents, this);
        syncSeq = pw_core_sync(core, PW_ID_CORE, 0);
    }
    pw_thread_loop_unlock(loop);
    if (core && pw_thread_loop_start(loop) >= 0) {
        if (wasLost)
            qDebug() << "PipeWire: following again which programs use its cameras";
        wasLost = false;
        return;
    }
    if (core || !wasLost)
        qDebug() << "PipeWire: cannot follow which programs use its cameras";
    close();
    watch.disconnected(false);
}

void PipeWireNodeUsage::Impl::close()
{
    if (!loop)
        return;
    pw_thread_loop_stop(loop);  // no callback runs after this
    {
        std::lock_guard<std::mutex> lock(mutex);
        clients.clear();
        cameras.clear();
        nodeClients.clear();
        links.clear();
    }
    if (registry) {
        spa_hook_remove(&registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
        registry = nullptr;
    }
    if (core) {
        spa_hook_remove(&coreListener);
        pw_core_disconnect(core);
        core = nullptr;
    }
    if (context)
        pw_context_destroy(context);
    context = nullptr;
    pw_thread_loop_destroy(loop);
    loop = nullptr;
}

void PipeWireNodeUsage::Impl::lost(bool hadServed)
{
    qDebug() << "PipeWire: lost the daemon; programs using cameras through it are not seen until it is back";
    close();
    wasLost = true;
    emit owner->changed();
    watch.disconnected(hadServed);
}

PipeWireNodeUsage::PipeWireNodeUsage(QObject* parent) : QObject(parent), d(std::make_unique<Impl>())
{
    d->owner = this;
    connect(&d->watch, &PipeWireDaemonWatch::retry, this, [this] { d->open(); });
    d->open();
}

PipeWireNodeUsage::~PipeWireNodeUsage()
{
    d->close();
}

bool PipeWireNodeUsage::connected() const { return d->core != nullptr; }

bool PipeWireNodeUsage::isDaemonProcess(const QString& name)
{
    return name == QLatin1String("pipewire") || name == QLatin1String("wireplumber")
        || name == QLatin1String("pipewire-media-session");
}

QStringList PipeWireNodeUsage::clientsOf(const QString& device) const
{
    QStringList names;
    std::lock_guard<std::mutex> lock(d->mutex);
    for (const auto& camera : d->cameras) {
        if (!camera.second.contains(device))
            continue;
        for (const auto& link : d->links) {
            if (link.second.output != camera.first)
                continue;
            const auto node = d->nodeClients.find(link.second.input);
            const auto client = node == d->nodeClients.end() ? d->clients.end() : d->clients.find(node->second);
            if (client != d->clients.end() && !client->second->self && !client->second->name.isEmpty()
                && !names.contains(client->second->name))
                names << client->second->name;
        }
    }
    return names;
}

} // namespace capture
