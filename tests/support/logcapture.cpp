#include "logcapture.h"

namespace {
// Worker threads log while a test creates and drops its capture.
std::mutex g_mutex;
LogCapture* g_capture = nullptr;
}

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_capture = this;
    m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        std::lock_guard<std::mutex> global(g_mutex);
        if (g_capture) {
            std::lock_guard<std::mutex> lock(g_capture->m_mutex);
            g_capture->m_lines.append(message);
        }
    });
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

QStringList LogCapture::matching(const QString& text) const { return lines().filter(text); }
