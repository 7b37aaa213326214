// A USB Video Class 1.1 camera in user space, for the test VM. It attaches itself to the
// kernel's USB/IP virtual host controller (vhci-hcd) through one end of a socketpair and
// answers USB/IP on the other, so that the kernel's own uvcvideo driver binds it.
//
//   uvc_emulator --model designated|ordinary [--serial S] --control PATH
//
// PATH becomes a UNIX stream socket taking one command per line, each answered with one
// line: "unplug", "plug", "stop" (no more frames), "start", "damage" (the next five frames
// are broken JPEGs), "stall" (the next control request stalls), "values" (what the camera
// holds: "name=value ..."). It prints "attached <port>" once the host has the device.
#include <turbojpeg.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Model
{
    const char* key;
    uint16_t vendor, product;
    const char *maker, *name, *function, *serial;
};
// uvcvideo names the node "<product>: <function>", cut at 31 characters, as laptops show.
const Model kModels[] = {
    {"designated", 0x1209, 0x4C56, "Lumivo", "Lumivo Cam", nullptr, "LV0042"},
    {"ordinary", 0x0BDA, 0x5521, "Generic", "Integrated Camera", "Integrated Camera", nullptr},
};

struct Frame
{
    uint16_t width, height;
};
struct Format
{
    bool mjpg;
    std::vector<Frame> frames;  // deliberately not sorted by size
};
const std::vector<Format> kFormats = {
    {true, {{1280, 720}, {640, 480}, {1920, 1080}, {320, 240}}},
    {false, {{640, 480}, {320, 240}, {160, 120}}},
};
const uint32_t kIntervals[] = {333333, 666666};  // 30 and 15 fps, in 100 ns
constexpr uint32_t kPayloadSize = 16384;          // uvcvideo's bulk URB: 32 x 512 bytes
constexpr uint32_t kClock = 1000000;
constexpr uint8_t kCameraTerminal = 1, kProcessingUnit = 2, kOutputTerminal = 3;

struct Control
{
    const char* name;
    uint8_t entity, selector, length;
    int32_t min, max, res, def;
    int master;           // index of the automatic mode that locks this value, or -1
    int32_t manual;       // the master's value that unlocks it
    bool bitmap = false;  // auto-exposure mode: res is the mask of the modes offered
};
const Control kControls[] = {
    {"auto_exposure", kCameraTerminal, 0x02, 1, 1, 8, 0x09, 8, -1, 0, true},  // Manual | Aperture Priority
    {"exposure", kCameraTerminal, 0x04, 4, 3, 2047, 1, 157, 0, 1},
    {"focus", kCameraTerminal, 0x06, 2, 0, 250, 5, 0, 3, 0},
    {"focus_auto", kCameraTerminal, 0x08, 1, 0, 1, 1, 1, -1, 0},
    {"brightness", kProcessingUnit, 0x02, 2, -64, 64, 1, 0, -1, 0},
    {"contrast", kProcessingUnit, 0x03, 2, 0, 100, 1, 50, -1, 0},
    {"saturation", kProcessingUnit, 0x07, 2, 0, 100, 1, 64, -1, 0},
    {"sharpness", kProcessingUnit, 0x08, 2, 0, 100, 1, 50, -1, 0},
    {"white_balance", kProcessingUnit, 0x0A, 2, 2800, 7500, 10, 4600, 9, 0},
    {"white_balance_auto", kProcessingUnit, 0x0B, 1, 0, 1, 1, 1, -1, 0},
    {"gain", kProcessingUnit, 0x04, 2, 0, 255, 1, 0, -1, 0},
    {"power_line", kProcessingUnit, 0x05, 1, 0, 2, 1, 1, -1, 0},
};
constexpr int kControlCount = sizeof(kControls) / sizeof(kControls[0]);

void le(Bytes& b, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
int32_t fromLe(const uint8_t* p, int n, bool isSigned)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    if (isSigned && n < 4 && (v >> (8 * n - 1)) & 1)
        v |= ~0u << (8 * n);
    return int32_t(v);
}
uint32_t be(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
void putBe(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}
// Appends a descriptor whose first byte is its own length.
void desc(Bytes& b, std::initializer_list<std::pair<uint32_t, int>> fields)
{
    const size_t at = b.size();
    for (auto [v, n] : fields)
        le(b, v, n);
    b[at] = uint8_t(b.size() - at);
}
void setTotal(Bytes& b, size_t at, size_t offset) { b[at + offset] = uint8_t(b.size() - at), b[at + offset + 1] = uint8_t((b.size() - at) >> 8); }

const uint8_t kYuy2Guid[16] = {'Y', 'U', 'Y', '2', 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};

uint32_t maxFrameBytes(const Frame& f) { return uint32_t(f.width) * f.height * 2; }

Bytes configuration(const Model& m)
{
    Bytes b;
    desc(b, {{0, 1}, {2, 1}, {0, 2}, {2, 1}, {1, 1}, {0, 1}, {0x80, 1}, {250, 1}});  // 500 mA
    desc(b, {{0, 1}, {11, 1}, {0, 1}, {2, 1}, {0x0E, 1}, {3, 1}, {0, 1}, {m.function ? 4u : 0u, 1}});  // IAD
    desc(b, {{0, 1}, {4, 1}, {0, 1}, {0, 1}, {0, 1}, {0x0E, 1}, {1, 1}, {0, 1}, {0, 1}});  // VideoControl
    const size_t vc = b.size();
    desc(b, {{0, 1}, {0x24, 1}, {1, 1}, {0x0110, 2}, {0, 2}, {kClock, 4}, {1, 1}, {1, 1}});
    // Camera terminal: AE mode, exposure absolute, focus absolute, focus auto.
    desc(b, {{0, 1}, {0x24, 1}, {2, 1}, {kCameraTerminal, 1}, {0x0201, 2}, {0, 1}, {0, 1}, {0, 2}, {0, 2}, {0, 2},
             {3, 1}, {0x02002A, 3}});
    // Processing unit: brightness, contrast, saturation, sharpness, WB temperature, gain,
    // power line, WB temperature auto.
    desc(b, {{0, 1}, {0x24, 1}, {5, 1}, {kProcessingUnit, 1}, {kCameraTerminal, 1}, {0, 2}, {2, 1}, {0x165B, 2},
             {0, 1}, {0, 1}});
    desc(b, {{0, 1}, {0x24, 1}, {3, 1}, {kOutputTerminal, 1}, {0x0101, 2}, {0, 1}, {kProcessingUnit, 1}, {0, 1}});
    setTotal(b, vc, 5);
    desc(b, {{0, 1}, {4, 1}, {1, 1}, {0, 1}, {1, 1}, {0x0E, 1}, {2, 1}, {0, 1}, {0, 1}});  // VideoStreaming
    const size_t vs = b.size();
    desc(b, {{0, 1}, {0x24, 1}, {1, 1}, {uint32_t(kFormats.size()), 1}, {0, 2}, {0x81, 1}, {0, 1}, {kOutputTerminal, 1}, {0, 1},
             {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}});
    for (size_t fi = 0; fi < kFormats.size(); ++fi) {
        const Format& f = kFormats[fi];
        if (f.mjpg) {
            desc(b, {{0, 1}, {0x24, 1}, {6, 1}, {uint32_t(fi + 1), 1}, {uint32_t(f.frames.size()), 1}, {1, 1}, {1, 1}, {0, 4}});
        } else {
            const size_t at = b.size();
            desc(b, {{0, 1}, {0x24, 1}, {4, 1}, {uint32_t(fi + 1), 1}, {uint32_t(f.frames.size()), 1}});
            b.insert(b.end(), kYuy2Guid, kYuy2Guid + 16);
            le(b, 16, 1), le(b, 1, 1), le(b, 0, 4);
            b[at] = uint8_t(b.size() - at);
        }
        for (size_t i = 0; i < f.frames.size(); ++i) {
            const Frame& fr = f.frames[i];
            const uint32_t rate = maxFrameBytes(fr) * 8 * 30;
            desc(b, {{0, 1}, {0x24, 1}, {f.mjpg ? 7u : 5u, 1}, {uint32_t(i + 1), 1}, {0, 1}, {fr.width, 2}, {fr.height, 2},
                     {rate / 2, 4}, {rate, 4}, {maxFrameBytes(fr), 4}, {kIntervals[0], 4}, {2, 1},
                     {kIntervals[0], 4}, {kIntervals[1], 4}});
        }
    }
    setTotal(b, vs, 4);
    desc(b, {{0, 1}, {5, 1}, {0x81, 1}, {2, 1}, {512, 2}, {0, 1}});  // bulk IN
    setTotal(b, 0, 2);
    return b;
}

class Emulator
{
public:
    Emulator(const Model& m, std::string serial) : m_model(m), m_serial(std::move(serial)) { reset(), encode(); }
    bool plug();
    void unplug();
    int run(int listenFd);

private:
    void reset();
    void readUsb();
    void submit(const uint8_t* h, const Bytes& out);
    void reply(uint32_t seq, int32_t status, const Bytes& in, uint32_t outLength = 0);
    bool control(const uint8_t* setup, const Bytes& out, Bytes& in);
    bool classRequest(uint8_t req, uint8_t iface, uint8_t entity, uint8_t cs, const Bytes& out, Bytes& in);
    Bytes fixProbe(const Bytes& asked) const;
    void encode();
    void tick();
    void pump();
    std::string command(const std::string& line);
    bool readFull(uint8_t* p, size_t n);

    const Model& m_model;
    std::string m_serial;
    tjhandle m_tj = tjInitCompress();
    std::vector<Bytes> m_jpegs;  // per MJPG frame index
    int m_usb = -1, m_port = -1;
    std::deque<std::pair<uint32_t, uint32_t>> m_urbs;  // bulk IN: seqnum, length
    Bytes m_frame;
    size_t m_sent = 0;
    bool m_inFrame = false, m_stopped = false, m_stall = false;
    int m_damage = 0;
    uint8_t m_fid = 0, m_error = 0;
    int32_t m_values[kControlCount];
    Bytes m_probe, m_commit;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now(), m_next = m_start;
};

void Emulator::reset()  // power on
{
    for (int i = 0; i < kControlCount; ++i)
        m_values[i] = kControls[i].def;
    m_probe = m_commit = fixProbe(Bytes(34, 0));
    m_urbs.clear();
    m_inFrame = false;
}

bool Emulator::plug()
{
    if (m_usb >= 0)
        return true;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
        return false;
    reset();
    for (int port = 0; port < 15; ++port) {  // vhci's high-speed ports
        FILE* f = std::fopen("/sys/devices/platform/vhci_hcd.0/attach", "w");
        if (!f)
            break;
        std::fprintf(f, "%d %d %d 3", port, sv[1], (1 << 16) | (port + 2));
        if (std::fclose(f) == 0) {
            close(sv[1]);
            m_usb = sv[0], m_port = port;
            std::printf("attached %d\n", port);
            std::fflush(stdout);
            return true;
        }
    }
    close(sv[0]), close(sv[1]);
    std::fprintf(stderr, "uvc_emulator: no free vhci port: %s\n", std::strerror(errno));
    return false;
}

void Emulator::unplug()
{
    if (m_usb < 0)
        return;
    if (FILE* f = std::fopen("/sys/devices/platform/vhci_hcd.0/detach", "w")) {
        std::fprintf(f, "%d", m_port);
        std::fclose(f);
    }
    close(m_usb);
    m_usb = -1;
    m_urbs.clear();
}

bool Emulator::readFull(uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t r = read(m_usb, p, n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r, n -= size_t(r);
    }
    return true;
}

void Emulator::reply(uint32_t seq, int32_t status, const Bytes& in, uint32_t outLength)
{
    Bytes msg(48, 0);
    putBe(&msg[0], 3);  // USBIP_RET_SUBMIT
    putBe(&msg[4], seq);
    putBe(&msg[20], uint32_t(status));
    putBe(&msg[24], status ? 0 : (in.empty() ? outLength : uint32_t(in.size())));
    msg.insert(msg.end(), in.begin(), in.end());
    for (size_t done = 0; done < msg.size();) {
        const ssize_t w = write(m_usb, msg.data() + done, msg.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return;
        done += size_t(w);
    }
}

void Emulator::readUsb()
{
    uint8_t h[48];
    if (!readFull(h, sizeof h)) {  // detached, or the host dropped the device
        close(m_usb);
        m_usb = -1;
        m_urbs.clear();
        return;
    }
    const uint32_t cmd = be(h), seq = be(h + 4);
    if (cmd == 2) {  // USBIP_CMD_UNLINK: answered here, never with RET_SUBMIT afterwards
        const uint32_t victim = be(h + 20);
        auto it = std::find_if(m_urbs.begin(), m_urbs.end(), [&](auto& u) { return u.first == victim; });
        const bool found = it != m_urbs.end();
        if (found)
            m_urbs.erase(it);
        Bytes msg(48, 0);
        putBe(&msg[0], 4), putBe(&msg[4], seq), putBe(&msg[20], found ? uint32_t(-ECONNRESET) : 0);
        if (write(m_usb, msg.data(), msg.size()) != 48)
            std::fprintf(stderr, "uvc_emulator: short write\n");
        return;
    }
    Bytes out(be(h + 12) == 0 ? be(h + 24) : 0);  // direction OUT carries its data
    if (cmd != 1 || !readFull(out.data(), out.size())) {
        std::fprintf(stderr, "uvc_emulator: bad USB/IP command %u\n", cmd);
        return;
    }
    submit(h, out);
}

void Emulator::submit(const uint8_t* h, const Bytes& out)
{
    const uint32_t seq = be(h + 4), ep = be(h + 16), length = be(h + 24);
    if (ep == 1) {
        m_urbs.emplace_back(seq, length);
        pump();
        return;
    }
    Bytes in;
    // A SET's reply must report the whole wLength as transferred.
    if (control(h + 40, out, in))
        reply(seq, 0, Bytes(in.begin(), in.begin() + std::min<size_t>(in.size(), length)), uint32_t(out.size()));
    else
        reply(seq, -EPIPE, {});
}

bool Emulator::control(const uint8_t* s, const Bytes& out, Bytes& in)
{
    const uint8_t type = s[0], req = s[1];
    const uint16_t value = s[2] | s[3] << 8, index = s[4] | s[5] << 8;
    if ((type & 0x60) == 0x20)
        return classRequest(req, uint8_t(index), uint8_t(index >> 8), uint8_t(value >> 8), out, in);
    switch (req) {
    case 0:  // GET_STATUS
        in = {0, 0};
        return true;
    case 1:  // CLEAR_FEATURE: ENDPOINT_HALT on the streaming endpoint stops the stream
        if ((type & 0x1F) == 2 && (index & 0xFF) == 0x81)
            m_inFrame = false;
        return true;
    case 6: {  // GET_DESCRIPTOR
        const uint8_t kind = value >> 8, i = uint8_t(value);
        if (kind == 1) {
            desc(in, {{0, 1}, {1, 1}, {0x0200, 2}, {0xEF, 1}, {2, 1}, {1, 1}, {64, 1}, {m_model.vendor, 2},
                      {m_model.product, 2}, {0x0100, 2}, {1, 1}, {2, 1}, {m_serial.empty() ? 0u : 3u, 1}, {1, 1}});
            return true;
        }
        if (kind == 2) {
            in = configuration(m_model);
            return true;
        }
        const char* strings[] = {nullptr, m_model.maker, m_model.name, m_serial.c_str(), m_model.function};
        if (kind != 3 || i > 4 || (i > 0 && !strings[i]))
            return false;
        in = {0, 3};
        if (i == 0)
            le(in, 0x0409, 2);
        for (const char* c = i ? strings[i] : ""; *c; ++c)
            le(in, uint8_t(*c), 2);
        in[0] = uint8_t(in.size());
        return true;
    }
    case 8:  // GET_CONFIGURATION
        in = {1};
        return true;
    case 10:  // GET_INTERFACE
        in = {0};
        return true;
    case 3:
    case 9:
    case 11:  // SET_FEATURE, SET_CONFIGURATION, SET_INTERFACE
        return true;
    }
    return false;
}

Bytes Emulator::fixProbe(const Bytes& asked) const
{
    Bytes p(34, 0);
    std::copy_n(asked.begin(), std::min<size_t>(asked.size(), 34), p.begin());
    const size_t fi = std::clamp<size_t>(p[2], 1, kFormats.size()) - 1;
    const Format& f = kFormats[fi];
    const size_t ri = std::clamp<size_t>(p[3], 1, f.frames.size()) - 1;
    uint32_t interval = uint32_t(fromLe(&p[4], 4, false));
    interval = interval >= (kIntervals[0] + kIntervals[1]) / 2 ? kIntervals[1] : kIntervals[0];
    Bytes fixed;
    le(fixed, 0, 2), le(fixed, uint32_t(fi + 1), 1), le(fixed, uint32_t(ri + 1), 1), le(fixed, interval, 4);
    le(fixed, 0, 10), le(fixed, maxFrameBytes(f.frames[ri]), 4), le(fixed, kPayloadSize, 4), le(fixed, kClock, 4);
    le(fixed, 3, 1), le(fixed, 0, 3);
    return fixed;
}

bool Emulator::classRequest(uint8_t req, uint8_t iface, uint8_t entity, uint8_t cs, const Bytes& out,
                            Bytes& in)
{
    const bool set = req == 0x01;
    if (iface == 1) {  // VideoStreaming: probe (1) and commit (2)
        if (cs != 1 && cs != 2)
            return false;
        Bytes& state = cs == 1 ? m_probe : m_commit;
        if (set) {
            state = fixProbe(out);
            if (cs == 2)
                m_inFrame = false, m_next = std::chrono::steady_clock::now();
        } else if (req == 0x85) {
            in = {34, 0};
        } else if (req == 0x86) {
            in = {3};
        } else {
            in = req == 0x81 ? state : fixProbe({});
        }
        return true;
    }
    if (entity == 0 && cs == 2 && req == 0x81) {  // VC_REQUEST_ERROR_CODE_CONTROL
        in = {m_error};
        return true;
    }
    const auto* c = std::find_if(kControls, kControls + kControlCount,
                                 [&](const Control& k) { return k.entity == entity && k.selector == cs; });
    m_error = 6;  // invalid control
    if (c == kControls + kControlCount)
        return false;
    const int i = int(c - kControls);
    if (m_stall) {
        m_stall = false;
        m_error = 1;  // not ready
        return false;
    }
    m_error = 0;
    if (set) {
        if (out.size() < c->length)
            return (m_error = 7), false;
        int32_t v = fromLe(out.data(), c->length, c->min < 0);
        if (c->master >= 0 && m_values[c->master] != c->manual)
            return (m_error = 2), false;  // wrong state: the automatic mode owns it
        if (c->bitmap) {
            if (v == 0 || (v & (v - 1)) || !(v & c->res))
                return (m_error = 4), false;  // out of range
        } else {
            v = std::clamp(v, c->min, c->max);
            v = c->min + (v - c->min + c->res / 2) / c->res * c->res;
        }
        m_values[i] = v;
        return true;
    }
    int32_t v;
    switch (req) {
    case 0x81: v = m_values[i]; break;
    case 0x82: v = c->min; break;
    case 0x83: v = c->max; break;
    case 0x84: v = c->res; break;
    case 0x85: v = c->length; break;
    case 0x86: v = c->master >= 0 ? 0x0B : 0x03; break;  // GET/SET, and auto-update where a mode rules it
    case 0x87: v = c->def; break;
    default: return (m_error = 7), false;
    }
    le(in, uint32_t(v), req == 0x85 ? 2 : req == 0x86 ? 1 : c->length);
    return true;
}

void Emulator::encode()
{
    // Colour bars under a diagonal ramp: real pictures, encoded once before plugging in.
    for (const Frame& fr : kFormats[0].frames) {
        Bytes rgb(size_t(fr.width) * fr.height * 3);
        for (size_t y = 0, p = 0; y < fr.height; ++y)
            for (size_t x = 0; x < fr.width; ++x, p += 3) {
                const int bar = int(x * 8 / fr.width), ramp = int((x + y) * 64 / (fr.width + fr.height));
                rgb[p] = uint8_t((bar & 1 ? 191 : 0) + ramp), rgb[p + 1] = uint8_t((bar & 2 ? 191 : 0) + ramp);
                rgb[p + 2] = uint8_t((bar & 4 ? 191 : 0) + ramp);
            }
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        if (tjCompress2(m_tj, rgb.data(), fr.width, 0, fr.height, TJPF_RGB, &buffer, &size, TJSAMP_422, 80, 0) == 0)
            m_jpegs.emplace_back(buffer, buffer + size);
        tjFree(buffer);
    }
}

void Emulator::tick()
{
    const uint32_t interval = uint32_t(fromLe(&m_commit[4], 4, false));
    m_next += std::chrono::microseconds(interval / 10);
    const auto now = std::chrono::steady_clock::now();
    if (m_next < now)
        m_next = now;
    if (m_inFrame || m_stopped || m_urbs.empty())
        return;
    const Format& f = kFormats[m_commit[2] - 1];
    const Frame& fr = f.frames[m_commit[3] - 1];
    if (f.mjpg) {
        m_frame = m_jpegs[m_commit[3] - 1];
        if (m_damage > 0 && m_frame.size() > 100) {  // a scan cut short and garbled: libjpeg warns
            --m_damage;
            m_frame.resize(m_frame.size() * 3 / 5);
            std::fill(m_frame.end() - 40, m_frame.end(), 0x5A);
            m_frame.push_back(0xFF), m_frame.push_back(0xD9);
        }
    } else {
        m_frame.assign(maxFrameBytes(fr), 0);
        for (size_t i = 0; i < m_frame.size(); i += 4)  // grey ramp, neutral chroma
            m_frame[i] = m_frame[i + 2] = uint8_t(i / 2 % fr.width * 255 / fr.width), m_frame[i + 1] = m_frame[i + 3] = 128;
    }
    m_inFrame = true;
    m_sent = 0;
    pump();
}

void Emulator::pump()
{
    while (m_inFrame && !m_urbs.empty() && m_usb >= 0) {
        const auto [seq, length] = m_urbs.front();
        m_urbs.pop_front();
        const size_t room = std::min<size_t>(length, kPayloadSize) - 12;
        const size_t n = std::min(room, m_frame.size() - m_sent);
        const bool last = m_sent + n == m_frame.size();
        const auto now = std::chrono::steady_clock::now();
        const uint32_t us = uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(now - m_start).count());
        // 12-byte header with PTS and SCR: the metadata node completes buffers only so.
        Bytes in{12, uint8_t(0x80 | 0x08 | 0x04 | m_fid | (last ? 0x02 : 0))};
        le(in, us, 4), le(in, us, 4), le(in, (us / 1000) & 0x7FF, 2);
        in.insert(in.end(), m_frame.begin() + long(m_sent), m_frame.begin() + long(m_sent + n));
        m_sent += n;
        reply(seq, 0, in);
        if (last)
            m_inFrame = false, m_fid ^= 1;
    }
}

std::string Emulator::command(const std::string& line)
{
    if (line == "unplug")
        return unplug(), "ok";
    if (line == "plug")
        return plug() ? "ok" : "error";
    if (line == "stop" || line == "start")
        return m_stopped = line == "stop", "ok";
    if (line == "damage")
        return m_damage = 5, "ok";
    if (line == "stall")
        return m_stall = true, "ok";
    if (line == "values") {
        std::string s;
        for (int i = 0; i < kControlCount; ++i)
            s += std::string(kControls[i].name) + "=" + std::to_string(m_values[i]) + " ";
        const Format& f = kFormats[m_commit[2] - 1];
        const Frame& fr = f.frames[m_commit[3] - 1];
        return s + "format=" + (f.mjpg ? "MJPG" : "YUY2") + " size=" + std::to_string(fr.width) + "x" +
            std::to_string(fr.height);
    }
    return "error unknown command";
}

int Emulator::run(int listenFd)
{
    std::vector<std::pair<int, std::string>> clients;
    for (;;) {
        std::vector<pollfd> fds{{listenFd, POLLIN, 0}, {m_usb, POLLIN, 0}};
        for (auto& c : clients)
            fds.push_back({c.first, POLLIN, 0});
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_next - std::chrono::steady_clock::now());
        if (poll(fds.data(), fds.size(), int(std::max<long>(0, wait.count()))) < 0 && errno != EINTR)
            return 1;
        if (fds[0].revents & POLLIN) {
            const int c = accept(listenFd, nullptr, nullptr);
            if (c >= 0)
                clients.emplace_back(c, std::string());
        }
        if (m_usb >= 0 && fds[1].revents)
            readUsb();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            auto& [fd, buffer] = clients[i - 2];
            char chunk[256];
            const ssize_t r = read(fd, chunk, sizeof chunk);
            if (r <= 0) {
                close(fd), fd = -1;
                continue;
            }
            buffer.append(chunk, size_t(r));
            for (size_t nl; (nl = buffer.find('\n')) != std::string::npos;) {
                const std::string answer = command(buffer.substr(0, nl)) + "\n";
                buffer.erase(0, nl + 1);
                if (write(fd, answer.data(), answer.size()) < 0)
                    break;
            }
        }
        clients.erase(std::remove_if(clients.begin(), clients.end(), [](auto& c) { return c.first < 0; }), clients.end());
        if (std::chrono::steady_clock::now() >= m_next)
            tick();
    }
}

} // namespace

int main(int argc, char** argv)
{
    const Model* model = &kModels[0];
    std::string control, serial;
    bool serialGiven = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--model")
            model = std::find_if(kModels, kModels + 2, [&](const Model& m) { return argv[i + 1] == std::string(m.key); });
        else if (key == "--serial")
            serial = argv[i + 1], serialGiven = true;
        else if (key == "--control")
            control = argv[i + 1];
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (model == kModels + 2 || control.empty() || control.size() >= sizeof addr.sun_path) {
        std::fprintf(stderr, "usage: uvc_emulator --model designated|ordinary [--serial S] --control PATH\n");
        return 2;
    }
    if (!serialGiven && model->serial)
        serial = model->serial;
    std::strcpy(addr.sun_path, control.c_str());
    unlink(control.c_str());
    const int listenFd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd, 4) != 0) {
        std::perror("uvc_emulator: control socket");
        return 1;
    }
    Emulator emulator(*model, serial);
    if (!emulator.plug())
        return 1;
    return emulator.run(listenFd);
}
