#pragma once

namespace capture {

// One streaming session of a device: a thread of its own hands frames to a sink. The
// device that owns the session (StreamingDevice) starts, stops and reaps it.
class DeviceStream
{
public:
    virtual ~DeviceStream() = default;

    // Asks the session to end and returns at once; safe from any thread, the sink's too.
    // No sink call starts after it.
    virtual void requestStop() = 0;
    // Waits until the sink runs no more and the thread has ended, then frees the
    // buffers; not from the streaming thread.
    virtual void finish() = 0;
    // Delivering, not asked to stop, not ended by the device.
    virtual bool running() const = 0;

    // The owner of the session whose streaming thread calls this; null on other
    // threads. Lets a device recognise calls made from inside its own sink.
    static const void* currentOwner();

protected:
    // Marks the calling thread as the streaming thread of `owner`'s session while it lives.
    class OwnerScope
    {
    public:
        explicit OwnerScope(const void* owner);
        ~OwnerScope();
        OwnerScope(const OwnerScope&) = delete;
        OwnerScope& operator=(const OwnerScope&) = delete;

    private:
        const void* m_previous;
    };
};

} // namespace capture
