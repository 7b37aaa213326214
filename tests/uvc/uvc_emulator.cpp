// uvc_emulator designated|ordinary [latency=MS]: a USB Video Class 1.1 camera for the test VM, attached to the
// kernel's USB/IP host controller (vhci-hcd) through a socketpair, so that uvcvideo binds it. It
// prints "attached <port>", then answers each stdin line with one line: "unplug", "plug", "stop"
// (no frames), "damage" (broken JPEGs until "start": the driver drops frames while its buffers
// are full), "start", "stall" (the next control write), "values" ("name=value ...", with
// streaming=1 from a commit until the host stops the stream), "latency=MS" (each class request
// answered MS ms after the one before, as a camera's firmware does; frames flow). It ends with stdin.
#include <turbojpeg.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Model { const char *key, *maker, *name, *function, *serial; uint16_t vendor, product; };
// uvcvideo names the node "<product>: <function>", cut at 31 characters, as laptops show.
const Model kModels[] = {{"designated", "Lumivo", "Lumivo Cam", nullptr, "LV0042", 0x1209, 0x4C56},
                         {"ordinary", "Generic", "Integrated Camera", "Integrated Camera", nullptr, 0x0BDA, 0x5521}};
struct Size { uint16_t width, height; };
// MJPG, then YUY2; sizes deliberately not sorted.
const std::vector<Size> kFormats[] = {{{1280, 720}, {640, 480}, {1920, 1080}, {320, 240}}, {{640, 480}, {320, 240}, {160, 120}}};
const uint32_t kIntervals[] = {333333, 666666};  // 30 and 15 fps, in 100 ns
constexpr uint32_t kPayloadSize = 16384, kClock = 1000000;  // the payload: uvcvideo's bulk URB, 32 x 512 bytes
constexpr uint8_t kCamera = 1, kProcessing = 2;
struct Control
{
    const char* name;
    uint8_t entity, selector, length;
    int32_t min, max, res, def;
    int master = -1;     // index of the automatic mode that locks this value
    int32_t manual = 0;  // the master's value that unlocks it
};
// Ranges as small cameras have them: the looks' sharpness and Film's 7000 K lie beyond.
const Control kControls[] = {
    {"auto_exposure", kCamera, 0x02, 1, 1, 8, 0x09, 8},  // res: the modes offered, Manual | Aperture Priority
    {"exposure", kCamera, 0x04, 4, 3, 2047, 1, 157, 0, 1},
    {"focus", kCamera, 0x06, 2, 0, 250, 5, 0, 3, 0},
    {"focus_auto", kCamera, 0x08, 1, 0, 1, 1, 1},
    {"brightness", kProcessing, 0x02, 2, -64, 64, 1, 0},
    {"contrast", kProcessing, 0x03, 2, 0, 100, 1, 50},
    {"saturation", kProcessing, 0x07, 2, 0, 100, 1, 64},
    {"sharpness", kProcessing, 0x08, 2, 0, 7, 1, 3},
    {"white_balance", kProcessing, 0x0A, 2, 2800, 6500, 10, 4600, 9, 0},
    {"white_balance_auto", kProcessing, 0x0B, 1, 0, 1, 1, 1},
    {"gain", kProcessing, 0x04, 2, 0, 255, 1, 0},
    {"power_line", kProcessing, 0x05, 1, 0, 2, 1, 1},
    {"backlight", kProcessing, 0x01, 2, 0, 2, 1, 1},
    {"zoom", kCamera, 0x0B, 2, 100, 500, 1, 100},
    {"pan", kCamera, 0x0D, 4, -36000, 36000, 3600, 0},  // pan and tilt: one 8-byte control
    {"tilt", kCamera, 0x0D, 4, -36000, 36000, 3600, 0},
};
constexpr int kControlCount = int(std::size(kControls));

void le(Bytes& b, uint32_t v, int n) { for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i))); }
int32_t fromLe(const uint8_t* p, int n, bool isSigned)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    return isSigned && n < 4 && (v >> (8 * n - 1)) ? int32_t(v | ~0u << (8 * n)) : int32_t(v);
}
uint32_t be(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
Bytes header(std::initializer_list<uint32_t> words)  // a USB/IP reply: big-endian words, 48 bytes
{
    Bytes b(48);
    for (size_t i = 0; i < words.size() * 4; ++i)
        b[i] = uint8_t(words.begin()[i / 4] >> (24 - 8 * (i % 4)));
    return b;
}
// Appends a descriptor of (value, bytes) fields; its first byte becomes its length.
void desc(Bytes& b, std::initializer_list<std::pair<uint32_t, int>> fields)
{
    const size_t at = b.size();
    for (auto [v, n] : fields)
        le(b, v, n);
    b[at] = uint8_t(b.size() - at);
}
void setTotal(Bytes& b, size_t at, size_t offset) { b[at + offset] = uint8_t(b.size() - at), b[at + offset + 1] = uint8_t((b.size() - at) >> 8); }
uint32_t frameBytes(const Size& s) { return uint32_t(s.width) * s.height * 2; }

Bytes configuration(const Model& m)
{
    Bytes b;
    desc(b, {{0, 1}, {2, 1}, {0, 2}, {2, 1}, {1, 1}, {0, 1}, {0x80, 1}, {250, 1}});  // 500 mA
    desc(b, {{0, 1}, {11, 1}, {0, 1}, {2, 1}, {0x0E, 1}, {3, 1}, {0, 1}, {m.function ? 4u : 0u, 1}});  // IAD
    desc(b, {{0, 1}, {4, 1}, {0, 1}, {0, 1}, {0, 1}, {0x0E, 1}, {1, 1}, {0, 1}, {0, 1}});  // VideoControl
    const size_t vc = b.size();
    desc(b, {{0, 1}, {0x24, 1}, {1, 1}, {0x0110, 2}, {0, 2}, {kClock, 4}, {1, 1}, {1, 1}});
    // Camera terminal: AE mode, exposure absolute, focus absolute, zoom absolute, pan/tilt absolute, focus auto.
    desc(b, {{0, 1}, {0x24, 1}, {2, 1}, {kCamera, 1}, {0x0201, 2}, {0, 1}, {0, 1}, {0, 2}, {0, 2}, {0, 2}, {3, 1}, {0x020A2A, 3}});
    // Processing unit: brightness, contrast, saturation, sharpness, WB temperature, backlight, gain, power line, WB auto.
    desc(b, {{0, 1}, {0x24, 1}, {5, 1}, {kProcessing, 1}, {kCamera, 1}, {0, 2}, {2, 1}, {0x175B, 2}, {0, 1}, {0, 1}});
    desc(b, {{0, 1}, {0x24, 1}, {3, 1}, {3, 1}, {0x0101, 2}, {0, 1}, {kProcessing, 1}, {0, 1}});  // output terminal
    setTotal(b, vc, 5);
    desc(b, {{0, 1}, {4, 1}, {1, 1}, {0, 1}, {1, 1}, {0x0E, 1}, {2, 1}, {0, 1}, {0, 1}});  // VideoStreaming
    const size_t vs = b.size();
    desc(b, {{0, 1}, {0x24, 1}, {1, 1}, {2, 1}, {0, 2}, {0x81, 1}, {0, 1}, {3, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}});
    for (uint32_t fi = 1; fi <= 2; ++fi) {
        const std::vector<Size>& sizes = kFormats[fi - 1];
        const uint32_t count = uint32_t(sizes.size());
        if (fi == 1)
            desc(b, {{0, 1}, {0x24, 1}, {6, 1}, {fi, 1}, {count, 1}, {1, 1}, {1, 1}, {0, 4}});
        else  // uncompressed, with the YUY2 GUID
            desc(b, {{0, 1}, {0x24, 1}, {4, 1}, {fi, 1}, {count, 1}, {0x32595559, 4}, {0x00100000, 4}, {0xAA000080, 4},
                     {0x719B3800, 4}, {16, 1}, {1, 1}, {0, 4}});
        for (uint32_t i = 0; i < count; ++i) {
            const Size& s = sizes[i];
            const uint32_t rate = frameBytes(s) * 8 * 30;
            desc(b, {{0, 1}, {0x24, 1}, {fi == 1 ? 7u : 5u, 1}, {i + 1, 1}, {0, 1}, {s.width, 2}, {s.height, 2}, {rate / 2, 4},
                     {rate, 4}, {frameBytes(s), 4}, {kIntervals[0], 4}, {2, 1}, {kIntervals[0], 4}, {kIntervals[1], 4}});
        }
    }
    setTotal(b, vs, 4);
    desc(b, {{0, 1}, {5, 1}, {0x81, 1}, {2, 1}, {512, 2}, {0, 1}});  // bulk IN
    setTotal(b, 0, 2);
    return b;
}

// A probe/commit block as the camera settles it: the format and size asked for (or the
// nearest that exist), the nearer interval, and the sizes it will send.
Bytes settle(Bytes p)
{
    p.resize(34);
    const uint32_t fi = std::clamp<uint32_t>(p[2], 1, 2), ri = std::clamp<uint32_t>(p[3], 1, kFormats[fi - 1].size());
    const uint32_t interval = uint32_t(fromLe(&p[4], 4, false)) >= (kIntervals[0] + kIntervals[1]) / 2 ? kIntervals[1] : kIntervals[0];
    Bytes s;
    le(s, 0, 2), le(s, fi, 1), le(s, ri, 1), le(s, interval, 4), le(s, 0, 10);
    le(s, frameBytes(kFormats[fi - 1][ri - 1]), 4), le(s, kPayloadSize, 4), le(s, kClock, 4), le(s, 3, 4);
    return s;
}

struct Emulator
{
    const Model& model;
    std::vector<Bytes> jpegs = std::vector<Bytes>(kFormats[0].size());  // per MJPG size
    int usb = -1, port = -1;
    std::deque<std::pair<uint32_t, uint32_t>> urbs;  // bulk IN waiting: seqnum, length
    std::deque<std::pair<uint32_t, uint32_t>> early;  // unlinks ahead of their submit: seqnum, the submit's
    uint32_t lastSubmit = 0;
    struct Request { Clock::time_point due; uint32_t seq, length; Bytes setup, out; };
    std::deque<Request> requests;  // class requests held for the latency, in order
    std::chrono::milliseconds latency{0};
    Bytes frame, probe, commit;
    size_t sent = 0;
    bool inFrame = false, stopped = false, damaged = false, stall = false;
    bool streaming = false;  // as the host told it: a commit starts, a cleared halt ends
    uint8_t fid = 0, error = 0;
    int32_t values[kControlCount] = {};
    Clock::time_point start = Clock::now(), next = start;
    explicit Emulator(const Model& m) : model(m) {}
    // Colour bars under a diagonal ramp: a real picture, encoded once per size when first sent.
    const Bytes& jpeg(size_t index)
    {
        const Size& s = kFormats[0][index];
        if (!jpegs[index].empty())
            return jpegs[index];
        Bytes rgb(size_t(s.width) * s.height * 3);
        for (size_t p = 0, x = 0, y = 0; p < rgb.size(); ++p, x = p / 3 % s.width, y = p / 3 / s.width)
            rgb[p] = uint8_t((x * 8 / s.width >> p % 3 & 1 ? 191 : 0) + (x + y) * 64 / (s.width + s.height));
        tjhandle tj = tjInitCompress();
        unsigned char* data = nullptr;
        unsigned long size = 0;
        tjCompress2(tj, rgb.data(), s.width, 0, s.height, TJPF_RGB, &data, &size, TJSAMP_422, 80, 0);
        jpegs[index].assign(data, data + size);
        tjFree(data), tjDestroy(tj);
        return jpegs[index];
    }
    bool plug()
    {
        int sv[2];
        if (usb >= 0 || socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
            return usb >= 0;
        for (int i = 0; i < kControlCount; ++i)  // power on
            values[i] = kControls[i].def;
        probe = commit = settle({});
        for (port = 0; port < 15; ++port) {  // vhci's high-speed ports
            FILE* f = std::fopen("/sys/devices/platform/vhci_hcd.0/attach", "w");
            if (f && std::fprintf(f, "%d %d %d 3", port, sv[1], (1 << 16) | (port + 2)) && std::fclose(f) == 0) {
                close(sv[1]);  // the kernel holds its end now
                usb = sv[0];
                return true;
            }
        }
        close(sv[0]);
        close(sv[1]);
        return false;
    }
    void unplug(bool detach = true)
    {
        if (FILE* f = detach && usb >= 0 ? std::fopen("/sys/devices/platform/vhci_hcd.0/detach", "w") : nullptr)
            std::fprintf(f, "%d", port), std::fclose(f);
        close(usb), urbs.clear(), requests.clear(), early.clear();
        usb = -1, inFrame = false;
    }
    // All of it, or the host has dropped the device. (A recv of nothing would wait for data.)
    bool io(bool reading, uint8_t* p, size_t n) { return n == 0 || size_t(reading ? recv(usb, p, n, MSG_WAITALL) : send(usb, p, n, MSG_NOSIGNAL)) == n; }
    void reply(Bytes msg, const Bytes& in = {})
    {
        msg.insert(msg.end(), in.begin(), in.end());
        io(false, msg.data(), msg.size());
    }
    bool fail(uint8_t code)  // refuses a control request; the host reads why from the error-code control
    {
        error = code;
        return false;
    }
    void readUsb()
    {
        uint8_t h[48];
        if (!io(true, h, sizeof h))
            return unplug(false);
        const uint32_t cmd = be(h), seq = be(h + 4), ep = be(h + 16), length = be(h + 24);
        if (cmd == 2) {  // USBIP_CMD_UNLINK: answered here, never with RET_SUBMIT afterwards
            const uint32_t target = be(h + 20);
            // vhci's sender may pass an unlink before the submit it cancels. Answering it now would
            // have vhci give that URB back, and the answer to the submit that follows would then
            // name a URB it no longer knows, which makes it drop the device.
            if (target > lastSubmit)
                return (void)early.emplace_back(seq, target);
            const size_t before = urbs.size() + requests.size();
            urbs.erase(std::remove_if(urbs.begin(), urbs.end(), [&](auto& u) { return u.first == target; }), urbs.end());
            requests.erase(std::remove_if(requests.begin(), requests.end(), [&](auto& r) { return r.seq == target; }), requests.end());
            return reply(header({4, seq, 0, 0, 0, urbs.size() + requests.size() < before ? uint32_t(-ECONNRESET) : 0}));
        }
        Bytes out(be(h + 12) == 0 ? length : 0);  // direction OUT carries its data
        if (cmd != 1 || !io(true, out.data(), out.size()))
            return (void)std::fprintf(stderr, "uvc_emulator: bad USB/IP command %u\n", cmd);
        lastSubmit = std::max(lastSubmit, seq);
        const auto cancelled = std::find_if(early.begin(), early.end(), [&](auto& u) { return u.second == seq; });
        if (cancelled != early.end()) {  // unlinked already: never submitted here
            reply(header({4, cancelled->first, 0, 0, 0, uint32_t(-ECONNRESET)}));
            early.erase(cancelled);
        } else if (ep == 1)
            urbs.emplace_back(seq, length), pump();
        else  // one at a time, as the control pipe does; a class request takes the firmware its time
            requests.push_back({std::max(Clock::now(), requests.empty() ? Clock::now() : requests.back().due)
                                    + ((h[40] & 0x60) == 0x20 ? latency : Clock::duration()), seq, length, Bytes(h + 40, h + 48), std::move(out)});
    }
    void answerDue()
    {
        for (Bytes in; usb >= 0 && !requests.empty() && requests.front().due <= Clock::now(); requests.pop_front(), in.clear()) {
            const Request& r = requests.front();
            if (!control(r.setup.data(), r.out, in))
                reply(header({3, r.seq, 0, 0, 0, uint32_t(-EPIPE)}));
            else  // a SET's reply reports the whole wLength as done
                in.resize(std::min<size_t>(in.size(), r.length)), reply(header({3, r.seq, 0, 0, 0, 0, uint32_t(in.size() + r.out.size())}), in);
        }
    }
    bool control(const uint8_t* s, const Bytes& out, Bytes& in)
    {
        const uint8_t type = s[0], req = s[1], i = s[2], kind = s[3];
        if ((type & 0x60) == 0x20)
            return classRequest(req, s[4], s[5], s[3], out, in);
        if (req == 1 && (type & 0x1F) == 2 && s[4] == 0x81)  // ENDPOINT_HALT cleared: the stream stops
            inFrame = false, streaming = false;
        if (req == 0 || req == 8 || req == 10)  // GET_STATUS, GET_CONFIGURATION, GET_INTERFACE
            in = {uint8_t(req == 8), 0};
        if (req != 6)  // and CLEAR/SET_FEATURE, SET_CONFIGURATION, SET_INTERFACE
            return req < 12 && (0xF0B >> req & 1);
        if (kind == 1)  // GET_DESCRIPTOR
            return desc(in, {{0, 1}, {1, 1}, {0x0200, 2}, {0xEF, 1}, {2, 1}, {1, 1}, {64, 1}, {model.vendor, 2}, {model.product, 2},
                             {0x0100, 2}, {1, 1}, {2, 1}, {model.serial ? 3u : 0u, 1}, {1, 1}}), true;
        if (kind == 2)
            return in = configuration(model), true;
        const char* strings[] = {"", model.maker, model.name, model.serial, model.function};
        if (kind != 3 || i > 4 || !strings[i])
            return false;
        in = {0, 3};
        le(in, 0x0409, i ? 0 : 2);  // string 0: the languages, US English
        for (const char* c = strings[i]; *c; ++c)
            le(in, uint8_t(*c), 2);
        return in[0] = uint8_t(in.size()), true;
    }
    bool classRequest(uint8_t req, uint8_t iface, uint8_t entity, uint8_t cs, const Bytes& out, Bytes& in)
    {
        if (iface == 1) {  // VideoStreaming: probe (1) and commit (2)
            Bytes& state = cs == 1 ? probe : commit;
            if (req != 0x01)
                in = req == 0x85 ? Bytes{34, 0} : req == 0x86 ? Bytes{3} : req == 0x81 ? state : settle({});
            else if ((state = settle(out)), cs == 2)
                inFrame = false, next = Clock::now(), streaming = true;
            return cs == 1 || cs == 2;
        }
        if (entity == 0 && cs == 2 && req == 0x81)  // VC_REQUEST_ERROR_CODE_CONTROL
            return in = {error}, true;
        const Control* c = std::find_if(kControls, kControls + kControlCount, [&](auto& k) { return k.entity == entity && k.selector == cs; });
        const int at = int(c - kControls);
        if (at == kControlCount)
            return fail(6);  // invalid control
        if (stall && req == 0x01) {
            stall = false;
            return fail(1);  // not ready
        }
        error = 0;
        const int parts = at + 1 < kControlCount && c[1].selector == cs && c[1].entity == entity ? 2 : 1;
        if (req == 0x01 && parts == 2 && out.size() >= 8) {  // pan and tilt together
            for (int p = 0; p < 2; ++p)
                values[at + p] = std::clamp(fromLe(out.data() + 4 * p, 4, true), c[p].min, c[p].max) / c[p].res * c[p].res;
            return true;
        }
        if (req == 0x01) {  // SET_CUR; auto_exposure takes one bit, one of the modes offered (res)
            if (out.size() < c->length)
                return fail(7);
            const int32_t v = fromLe(out.data(), c->length, c->min < 0);
            if (c->master >= 0 && values[c->master] != c->manual)
                return fail(2);  // wrong state: the automatic mode owns it
            if (at == 0 && (v & (v - 1) || !(v & c->res)))
                return fail(4);  // out of range
            return values[at] = at == 0 ? v : c->min + (std::clamp(v, c->min, c->max) - c->min + c->res / 2) / c->res * c->res, true;
        }
        if (req < 0x81 || req > 0x87)
            return fail(7);
        for (int p = 0; p < parts; ++p) {
            const int32_t answers[] = {values[at + p], c[p].min, c[p].max, c[p].res, c->length * parts, c->master >= 0 ? 0x0B : 0x03, c[p].def};
            le(in, uint32_t(answers[req - 0x81]), req == 0x85 ? 2 : req == 0x86 ? 1 : c->length);
            if (req == 0x85 || req == 0x86)
                break;
        }
        return true;
    }
    void tick()
    {
        next = std::max(next + std::chrono::microseconds(fromLe(&commit[4], 4, false) / 10), Clock::now());
        if (inFrame || stopped || urbs.empty())
            return;
        frame = commit[2] == 1 ? jpeg(commit[3] - 1u) : Bytes(frameBytes(kFormats[1][commit[3] - 1]), 128);  // YUY2: grey
        if (damaged && commit[2] == 1)  // the scan garbled from its middle on
            std::fill(frame.begin() + long(frame.size() / 2), frame.end() - 2, 0xFF);
        inFrame = true, sent = 0;
        pump();
    }
    void pump()
    {
        while (inFrame && !urbs.empty() && usb >= 0) {
            const auto [seq, length] = urbs.front();
            urbs.pop_front();
            const size_t n = std::min(std::min<size_t>(length, kPayloadSize) - 12, frame.size() - sent);
            const bool last = sent + n == frame.size();
            const auto us = uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
            // 12-byte header with PTS and SCR: the metadata node completes buffers only so.
            Bytes in{12, uint8_t(0x80 | 0x08 | 0x04 | fid | (last ? 0x02 : 0))};
            le(in, us, 4), le(in, us, 4), le(in, (us / 1000) & 0x7FF, 2);
            in.insert(in.end(), frame.begin() + long(sent), frame.begin() + long(sent + n));
            sent += n;
            reply(header({3, seq, 0, 0, 0, 0, uint32_t(in.size())}), in);
            if (last)
                inFrame = false, fid ^= 1;
        }
    }
    std::string command(const std::string& line)
    {
        std::string s;
        if (line == "values") {
            for (int i = 0; i < kControlCount; ++i)
                s += std::string(kControls[i].name) + "=" + std::to_string(values[i]) + " ";
            const Size& size = kFormats[commit[2] - 1][commit[3] - 1];
            return s + "format=" + (commit[2] == 1 ? "MJPG" : "YUY2") + " size=" + std::to_string(size.width) + "x" + std::to_string(size.height)
                + " streaming=" + (streaming ? "1" : "0");
        }
        if (line == "stop" || line == "damage" || line == "start")
            stopped = line == "stop", damaged = line == "damage";
        else if (line == "stall")
            stall = true;
        else if (line.rfind("latency=", 0) == 0)
            return line == "latency=" + std::to_string(std::clamp(std::atoi(&line[8]), 0, 5000))
                ? latency = std::chrono::milliseconds(std::atoi(&line[8])), "ok" : "error bad latency";
        else if (line == "unplug")
            unplug();
        else if (line == "plug")
            return plug() ? "attached " + std::to_string(port) : "error";
        else
            return "error unknown command";
        return "ok";
    }
    void run()
    {
        for (std::string line;;) {
            pollfd fds[] = {{0, POLLIN, 0}, {usb, POLLIN, 0}};
            const Clock::time_point wake = requests.empty() ? next : std::min(next, requests.front().due);
            poll(fds, 2, int(std::max<long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now() + std::chrono::microseconds(999)).count())));
            for (char c = 0; fds[0].revents && c != '\n';) {  // one command, answered at once
                if (read(0, &c, 1) != 1)
                    return unplug();  // the test has gone
                if (c != '\n')
                    line += c;
                else
                    std::puts(command(line).c_str()), line.clear();
            }
            if (usb >= 0 && fds[1].revents)
                readUsb();
            answerDue();
            if (Clock::now() >= next)
                tick();
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    const Model* model = std::find_if(std::begin(kModels), std::end(kModels), [&](const Model& m) { return (argc == 2 || argc == 3) && argv[1] == std::string(m.key); });
    Emulator emulator(model == std::end(kModels) ? kModels[0] : *model);
    if (model == std::end(kModels) || (argc == 3 && (std::string(argv[2]).rfind("latency=", 0) != 0 || emulator.command(argv[2]) != "ok")))
        return std::fprintf(stderr, "usage: uvc_emulator designated|ordinary [latency=MS]\n"), 2;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (std::puts(emulator.command("plug").c_str()), emulator.usb < 0)
        return 1;
    emulator.run();
}
