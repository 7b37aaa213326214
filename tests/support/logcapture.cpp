#include "logcapture.h"

#include <QTest>

namespace {
// Worker threads log while a test creates and drops its capture.
std::mutex g_captureMutex;
LogCapture* g_capture = nullptr;
}

LogCapture::LogCapture()
{
    std::lock_guard<std::mutex> lock(g_captureMutex);
    g_capture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    std::lock_guard<std::mutex> lock(g_captureMutex);
    qInstallMessageHandler(m_previous);
    g_capture = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    std::lock_guard<std::mutex> global(g_captureMutex);
    if (LogCapture* capture = g_capture) {
        {
            std::lock_guard<std::mutex> lock(capture->m_mutex);
            capture->m_lines.append(message);
        }
        // LUMIVO_TEST_ECHO=1 shows the captured lines too, for reading a test's log.
        static const bool echo = qEnvironmentVariableIntValue("LUMIVO_TEST_ECHO") == 1;
        if (echo && capture->m_previous)
            capture->m_previous(type, context, message);
    }
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

bool LogCapture::contains(const QString& text) const
{
    return !matching(text).isEmpty();
}

QStringList LogCapture::matching(const QString& text) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList found;
    for (const QString& line : m_lines) {
        if (line.contains(text))
            found.append(line);
    }
    return found;
}

bool LogCapture::waitFor(const QString& text, int timeoutMs) const
{
    return QTest::qWaitFor([&]() { return contains(text); }, timeoutMs);
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.clear();
}
