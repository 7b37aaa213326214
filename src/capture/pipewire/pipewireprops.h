#pragma once

#include "capture/capturedevice.h"

#include <memory>
#include <mutex>
#include <vector>

namespace capture {

class PipeWireConnection;

// The controls of a camera node without a V4L2 device behind it (libcamera): the
// node's PropInfo and Props parameters as controls under the V4L2 ids of their
// meaning. A property the node does not describe is unsupported, as on a camera that
// lacks it.
class PipeWireProps
{
public:
    // One described property of the node.
    struct Entry
    {
        std::uint32_t id = 0;       // the node's property id
        QString name;
        std::uint32_t control = 0;  // its V4L2 control id (a private one for what V4L2 lacks)
        bool isBool = false;
        bool isFloat = false;       // floats are offered in hundredths
        long min = 0, max = 0, step = 1, defaultValue = 0;
    };

    PipeWireProps(std::shared_ptr<PipeWireConnection> connection, std::uint32_t nodeId);

    // What PropInfo parameters describe, and the values a Props parameter holds by id.
    static std::vector<Entry> describe(const std::vector<std::vector<std::uint8_t>>& propInfo);
    static std::vector<std::pair<std::uint32_t, long>> values(const std::vector<Entry>& entries, const void* props);

    HRESULT controls(std::vector<dshow::DeviceControl>& out);
    HRESULT control(quint32 id, dshow::DeviceControl& out);
    HRESULT setControl(quint32 id, qint64 value);

private:
    const std::vector<Entry>& entries();
    const Entry* find(quint32 control);
    dshow::DeviceControl describeControl(const Entry& e);
    bool read(std::uint32_t id, long& value);
    HRESULT write(const Entry& entry, long value);

    std::shared_ptr<PipeWireConnection> m_connection;
    std::uint32_t m_nodeId;
    std::mutex m_mutex;
    bool m_described = false;
    std::vector<Entry> m_entries;
};

} // namespace capture
