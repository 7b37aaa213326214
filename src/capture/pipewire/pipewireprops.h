#pragma once

#include "capture/capturedevice.h"

#include <memory>
#include <mutex>
#include <vector>

namespace capture {

class PipeWireConnection;

// The controls of a camera node without a V4L2 device behind it (libcamera): the
// node's PropInfo and Props parameters on the property interface. A property the node
// does not describe is unsupported, as on a camera that lacks it.
class PipeWireProps
{
public:
    // One described property of the node.
    struct Entry
    {
        std::uint32_t id = 0;
        QString name;
        int property = -1;      // a Property, -1 for one only the controls dialog shows
        bool automatic = false; // the automatic-mode switch of `property`
        bool isBool = false;
        bool isFloat = false;   // floats are offered in hundredths
        long min = 0, max = 0, step = 1, defaultValue = 0;
    };

    PipeWireProps(std::shared_ptr<PipeWireConnection> connection, std::uint32_t nodeId);

    // What PropInfo parameters describe, and the values a Props parameter holds by id.
    static std::vector<Entry> describe(const std::vector<std::vector<std::uint8_t>>& propInfo);
    static std::vector<std::pair<std::uint32_t, long>> values(const std::vector<Entry>& entries, const void* props);

    HRESULT getRange(Property property, PropertyRange& range);
    HRESULT get(Property property, long& value, long& flags);
    HRESULT set(Property property, long value, long flags);
    HRESULT controls(std::vector<dshow::DeviceControl>& out);
    HRESULT setControl(quint32 id, long value);

private:
    const std::vector<Entry>& entries();
    const Entry* find(Property property, bool automatic);
    bool read(std::uint32_t id, long& value);
    HRESULT write(const Entry& entry, long value);

    std::shared_ptr<PipeWireConnection> m_connection;
    std::uint32_t m_nodeId;
    std::mutex m_mutex;
    bool m_described = false;
    std::vector<Entry> m_entries;
};

} // namespace capture
