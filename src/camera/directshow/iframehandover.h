#pragma once

#include <QMutex>

#include <cstdint>
#include <vector>

// Hands frame bytes from a streaming thread to one consumer thread, keeping at most
// one frame waiting: a newer frame replaces a waiting one, so a slow consumer costs
// dropped frames, never memory. The bytes are copied (the producer's buffer is only
// valid during its call) into storage that is reused from frame to frame.
class IFrameHandOver
{
public:
    struct Frame
    {
        double sampleTime = 0.0;
        std::uint8_t* data = nullptr;
        long size = 0;
    };

    // Copies the frame in. True when nothing was waiting and the consumer has not been
    // told yet: the caller then notifies the consumer once.
    bool put(double sampleTime, const std::uint8_t* data, long size);
    // The waiting frame, now owned by the consumer until release(); false when none.
    bool take(Frame& frame);
    void release();
    // Drops a waiting frame and forgets any notice; storage is kept.
    void clear();
    // Frames replaced before the consumer took them.
    quint64 dropped() const;

private:
    static constexpr int kBuffers = 3;  // one being filled, one waiting, one in use

    struct Buffer
    {
        std::vector<std::uint8_t> bytes;
        long size = 0;
        double sampleTime = 0.0;
    };

    QMutex m_producerMutex;  // one put at a time
    mutable QMutex m_mutex;  // guards the indices below
    Buffer m_buffers[kBuffers];
    int m_nWaiting = -1;
    int m_nInUse = -1;
    bool m_bNotified = false;
    quint64 m_nDropped = 0;
};
