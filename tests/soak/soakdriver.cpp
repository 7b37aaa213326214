#include "soakdriver.h"

#include "camera/icamera.h"
#include "base/icamerainfo.h"
#include "capture/capturesystem.h"
#include "widgets/icamerabutton.h"
#include "widgets/islider.h"
#include "app/icamerapage.h"
#include "app/imainpage.h"
#include "app/iapplication.h"
#include "app/mainframe.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QtTest>

#include <algorithm>
#include <cstdio>

#include <malloc.h>

// Hands freed memory back to the system before a reading: the sanitizer's allocator
// when there is one, else the C library's.
extern "C" void __sanitizer_purge_allocator() __attribute__((weak));

namespace {
QJsonObject format(const char* subtype, int w, int h, int fps)
{
    return QJsonObject{{"subtype", subtype}, {"width", w}, {"height", h}, {"fps", fps}};
}

QJsonObject allControls()
{
    return QJsonObject{
        {"brightness", QJsonObject{{"min", -64}, {"max", 64}, {"default", 0}}},
        {"contrast", QJsonObject{}},
        {"saturation", QJsonObject{}},
        {"sharpness", QJsonObject{}},
        {"whiteBalance", QJsonObject{{"min", 2800}, {"max", 6500}, {"step", 10}, {"default", 4600}, {"auto", true}}},
        {"exposure", QJsonObject{{"min", -13}, {"max", -1}, {"default", -6}, {"auto", true}}},
        {"focus", QJsonObject{{"min", 0}, {"max", 250}, {"step", 5}, {"default", 0}, {"auto", false}}},
    };
}

// The cameras the run plugs and unplugs: the designated model (looks, fixed sizes), raw
// layouts, one that refuses a size, one in use elsewhere, one that fails to open and
// one that falls silent.
QList<QJsonObject> soakCameras()
{
    QList<QJsonObject> list;
    list << QJsonObject{{"name", "Soak Designated"}, {"path", "virtual:soak-designated"}, {"vid", "1209"}, {"pid", "4C56"},
                        {"formats", QJsonArray{format("MJPG", 1280, 720, 15), format("MJPG", 640, 480, 30),
                                               format("MJPG", 1920, 1080, 10)}},
                        {"controls", allControls()}};
    list << QJsonObject{{"name", "Soak Raw"}, {"path", "virtual:soak-raw"}, {"vid", "046D"}, {"pid", "0825"},
                        {"formats", QJsonArray{format("YUY2", 320, 240, 30), format("NV12", 640, 480, 15),
                                               format("I420", 352, 288, 15), format("UYVY", 160, 120, 30)}},
                        {"controls", allControls()}};
    list << QJsonObject{{"name", "Soak Refuser"}, {"path", "virtual:soak-refuser"},
                        {"formats", QJsonArray{format("MJPG", 640, 480, 30), format("MJPG", 800, 600, 20),
                                               format("YUY2", 320, 240, 30)}},
                        {"refuse", QJsonArray{"800x600"}},
                        {"controls", QJsonObject{{"brightness", QJsonObject{}}, {"contrast", QJsonObject{}}}}};
    list << QJsonObject{{"name", "Soak Busy"}, {"path", "virtual:soak-busy"}, {"busy", true},
                        {"formats", QJsonArray{format("MJPG", 320, 240, 30)}}};
    list << QJsonObject{{"name", "Soak Broken"}, {"path", "virtual:soak-broken"}, {"openError", -2}};
    list << QJsonObject{{"name", "Soak Hung"}, {"path", "virtual:soak-hung"}, {"stallAfter", 20},
                        {"formats", QJsonArray{format("MJPG", 320, 240, 30)}}, {"controls", allControls()}};
    return list;
}

// A memory figure of /proc/self/status in kB: VmRSS now, VmHWM the highest so far.
qint64 statusKb(const QByteArray& key)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 median(QList<qint64> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
} // namespace

SoakDriver::SoakDriver(quint32 seed) : m_rng(seed), m_watchdog(30000)
{
    m_report.seed = seed;
}

SoakDriver::~SoakDriver() = default;

bool SoakDriver::start()
{
    if (!m_dir.isValid())
        return false;
    m_file = m_dir.filePath("cameras.json");
    m_cameras = soakCameras();
    for (int i = 0; i < m_cameras.size(); ++i)
        m_present << true;
    writeCameras();
    QString error;
    if (!capture::CaptureSystem::instance()->configureFromArguments({"lumivo", "--virtual-cameras", m_file}, &error)) {
        problem("cameras file refused: " + error);
        return false;
    }
    connect(capture::CaptureSystem::instance(), &capture::CaptureSystem::deviceChanged, this,
            [this](bool arrived, const QString&) { ++(arrived ? m_report.arrivals : m_report.removals); });
    connect(ICamera::instance(), &ICamera::sgResult, this, [this](IResult result) {
        ++m_resultCount;
        ++m_report.results[int(result)];
    });
    connect(ICamera::instance(), &ICamera::sgPreviewImage, this, [this] { ++m_report.previewFrames; });

    // Quitting would end the test's own event loop: the run never quits.
    MainFrame::s_pQuitFunction = [] {};
    auto* app = qobject_cast<IApplication*>(qApp);
    app->createMainFrame();
    m_frame = app->mainFrame();
    m_page = m_frame->cameraPage();
    connect(m_page, &ICameraPage::sgCameraCall, this, [this](const QString& op, const QVariant&) { ++m_report.calls[op]; });
    return waitFor([this] { return tilePaths().size() >= m_cameras.size(); }, 10000);
}

void SoakDriver::run(qint64 ms)
{
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer sincePlug, sinceCheck;
    sincePlug.start();
    sinceCheck.start();
    const qint64 warmUp = std::min<qint64>(15000, ms / 5);
    while (timer.elapsed() < ms && m_report.problems.size() < 5) {
        if (sincePlug.elapsed() >= 300) {
            plugStep();
            sincePlug.restart();
        }
        if (sinceCheck.elapsed() >= 10000) {
            checkList();
            sampleMemory(timer.elapsed() >= warmUp);
            sinceCheck.restart();
            continue;
        }
        if (!cameraOpen()) {
            openFromList();
        } else {
            const quint32 pick = m_rng.bounded(100);
            if (pick < 20)
                changeResolution();
            else if (pick < 55)
                moveSlider();
            else if (pick < 67)
                clickSwitch();
            else if (pick < 79)
                applyLook();
            else if (pick < 85)
                restoreDefaults();
            else if (pick < 92)
                unplugOpenCamera();
            else
                goBack();
        }
        pause(50, 250);
    }
    m_report.elapsedMs = timer.elapsed();
}

void SoakDriver::finish()
{
    m_watchdog.setActivity("finishing");
    ICamera::instance()->closeCamera();
    m_frame->setCurrentPage(0);
    for (bool& p : m_present)
        p = true;
    writeCameras();
    checkList();
    sampleMemory(true);
    // Flat memory: the last readings against the first ones after warm-up.
    const int n = m_rss.size();
    if (n >= 6) {
        m_report.rssStartKb = median(m_rss.mid(0, 3));
        m_report.rssEndKb = median(m_rss.mid(n - 3));
    } else if (n > 0) {
        m_report.rssStartKb = m_rss.first();
        m_report.rssEndKb = m_rss.last();
    }
    const qint64 growth = m_report.rssEndKb - m_report.rssStartKb;
    if (growth > std::max<qint64>(32 * 1024, m_report.rssStartKb / 5))
        problem(QStringLiteral("memory grew by %1 MB").arg(growth / 1024.0, 0, 'f', 1));
    // Closing a camera blocks the GUI thread until its worker ends; on a loaded machine
    // under the sanitizer that takes seconds, but never this long.
    if (m_watchdog.longestGapMs() > 10000)
        problem(QStringLiteral("GUI thread stalled for %1 ms").arg(m_watchdog.longestGapMs()));
    std::fprintf(stderr, "longest GUI stall: %lld ms\n", static_cast<long long>(m_watchdog.longestGapMs()));
}

QStringList SoakDriver::tilePaths() const
{
    QStringList paths;
    for (ICameraButton* b : m_frame->mainPage()->cameraButtons())
        paths << b->cameraInfo.strDevicePath;
    return paths;
}

QString SoakDriver::openPath() const { return currentCameraInfo().strDevicePath; }

bool SoakDriver::cameraOpen() const { return m_frame->currentPage() == 1; }

int SoakDriver::indexOf(const QString& path) const
{
    for (int i = 0; i < m_cameras.size(); ++i)
        if (m_cameras.at(i).value("path").toString() == path)
            return i;
    return -1;
}

void SoakDriver::writeCameras()
{
    QJsonArray list;
    for (int i = 0; i < m_cameras.size(); ++i)
        if (m_present.at(i))
            list.append(m_cameras.at(i));
    const QByteArray bytes = QJsonDocument(QJsonObject{{"cameras", list}}).toJson(QJsonDocument::Compact);
    // Both ways editors save: in place, and a new file renamed over the old one.
    if (m_rng.bounded(2) == 0) {
        QFile f(m_file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(bytes);
    } else {
        QSaveFile f(m_file);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(bytes);
            f.commit();
        }
    }
    ++m_report.fileEdits;
}

void SoakDriver::plugStep()
{
    m_watchdog.setActivity("plugging");
    const int open = cameraOpen() ? indexOf(openPath()) : -1;
    bool changed = false;
    for (int i = 0; i < m_cameras.size(); ++i) {
        if (i == open || m_rng.bounded(100) >= 30)
            continue;
        m_present[i] = !m_present[i];
        changed = true;
    }
    if (changed)
        writeCameras();
}

void SoakDriver::unplugOpenCamera()
{
    m_watchdog.setActivity("unplugging the open camera");
    const QString path = openPath();
    const int index = indexOf(path);
    if (index < 0)
        return;
    // Unplugged while frames flow.
    pause(100, 600);
    if (!cameraOpen())
        return;
    ++m_report.openUnplugs;
    m_present[index] = false;
    writeCameras();
    if (waitFor([&] { return !cameraOpen() && !tilePaths().contains(path); }, 5000))
        ++m_report.returnsToList;
    else
        problem("the open camera was unplugged but the program did not return to the list: " + path);
}

void SoakDriver::openFromList()
{
    m_watchdog.setActivity("opening a camera");
    const QList<ICameraButton*> tiles = m_frame->mainPage()->cameraButtons();
    if (tiles.isEmpty())
        return;
    ICameraButton* tile = tiles.at(int(m_rng.bounded(quint32(tiles.size()))));
    const int before = m_resultCount;
    ++m_report.opens;
    click(tile);
    // A result for every open, unless the camera was unplugged meanwhile.
    const QString path = tile->cameraInfo.strDevicePath;
    if (!waitFor([&] { return m_resultCount > before || !cameraOpen(); }, 15000))
        problem("no open result for " + path);
}

void SoakDriver::changeResolution()
{
    m_watchdog.setActivity("changing the resolution");
    QComboBox* box = m_page->resolutionBox();
    if (box->count() < 2)
        return;
    ++m_report.resolutionSteps;
    QTest::keyClick(box, m_rng.bounded(2) ? Qt::Key_Down : Qt::Key_Up);
}

void SoakDriver::moveSlider()
{
    m_watchdog.setActivity("moving a slider");
    QList<ISlider*> sliders;
    for (ISlider* s : {m_page->brightnessSlider(), m_page->contrastSlider(), m_page->saturationSlider(),
                       m_page->focusSlider(), m_page->exposureSlider(), m_page->whiteBalanceSlider()})
        if (s && s->isEnabled())
            sliders << s;
    if (sliders.isEmpty())
        return;
    ISlider* slider = sliders.at(int(m_rng.bounded(quint32(sliders.size()))));
    ++m_report.sliderSteps;
    static const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
    if (m_rng.bounded(3) == 0 && slider->width() > 2) {
        // A press on the groove, as a user clicks.
        const QPoint at(int(m_rng.bounded(quint32(slider->width()))), slider->height() / 2);
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, at);
    } else {
        const int presses = 1 + int(m_rng.bounded(4));
        const Qt::Key key = keys[m_rng.bounded(6)];
        for (int i = 0; i < presses; ++i)
            QTest::keyClick(slider, key);
    }
}

void SoakDriver::clickSwitch()
{
    m_watchdog.setActivity("clicking a switch");
    static const int keys[] = {ICameraPage::KeyAutoExposure, ICameraPage::KeyAutoFocus, ICameraPage::KeyAutoWhiteBalance};
    QWidget* button = m_page->button(keys[m_rng.bounded(3)]);
    if (!button || !button->isEnabled() || !button->isVisible())
        return;
    ++m_report.switchClicks;
    click(button);
}

void SoakDriver::applyLook()
{
    m_watchdog.setActivity("applying a look");
    QWidget* tab = m_page->button(ICameraPage::KeyFilterTab);
    if (!tab || !tab->isVisible())
        return;
    click(tab);
    QWidget* look = m_page->button(ICameraPage::KeyFilterOriginal + int(m_rng.bounded(6)));
    if (look) {
        ++m_report.lookClicks;
        click(look);
    }
    if (m_rng.bounded(2))
        click(m_page->button(ICameraPage::KeyParameterTab));
}

void SoakDriver::restoreDefaults()
{
    m_watchdog.setActivity("restoring defaults");
    QWidget* button = m_page->button(ICameraPage::KeyRestoreDefault);
    if (!button || !button->isVisible())
        return;
    ++m_report.restoreClicks;
    click(button);
}

void SoakDriver::goBack()
{
    m_watchdog.setActivity("going back");
    ++m_report.backs;
    click(m_page->button(ICameraPage::KeyBack));
    if (!waitFor([this] { return !cameraOpen(); }, 5000))
        problem("Back did not return to the list");
}

void SoakDriver::checkList()
{
    m_watchdog.setActivity("checking the list");
    ++m_report.listChecks;
    // Let the last edit be read, then the list shows exactly the cameras of the file.
    QStringList expected;
    for (int i = 0; i < m_cameras.size(); ++i)
        if (m_present.at(i))
            expected << m_cameras.at(i).value("path").toString();
    std::sort(expected.begin(), expected.end());
    auto current = [this] {
        QStringList paths = tilePaths().filter("virtual:soak-");
        std::sort(paths.begin(), paths.end());
        return paths;
    };
    if (!waitFor([&] { return current() == expected; }, 5000))
        problem(QStringLiteral("the list shows %1, the file holds %2").arg(current().join(','), expected.join(',')));
}

void SoakDriver::sampleMemory(bool warm)
{
    // Read in one state, the list page with no camera open, so that readings compare
    // like with like (an open 1080p camera alone holds tens of megabytes).
    if (cameraOpen())
        goBack();
    QTest::qWait(300);
    if (__sanitizer_purge_allocator)
        __sanitizer_purge_allocator();
    else
        ::malloc_trim(0);
    const qint64 kb = statusKb("VmRSS");
    m_report.rssPeakKb = statusKb("VmHWM");
    if (warm) {
        m_rss << kb;
        m_report.rssReadingsKb << kb;
    }
}

void SoakDriver::pause(int minMs, int maxMs)
{
    QTest::qWait(minMs + int(m_rng.bounded(quint32(maxMs - minMs + 1))));
}

bool SoakDriver::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

void SoakDriver::click(QWidget* widget)
{
    if (widget)
        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

void SoakDriver::problem(const QString& text)
{
    std::fprintf(stderr, "soak problem: %s\n", qPrintable(text));
    m_report.problems << text;
}
