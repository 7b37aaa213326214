#include "base/iconfigureservice.h"

#include "base/appenvironment.h"
#include "buildinfo.h"
#include "base/icamerainfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QSettings>
#include <QTranslator>

QString IConfigureService::s_strLangId;
QString IConfigureService::s_strPhotoFormat;
QString IConfigureService::s_strVideoFormat;
int IConfigureService::s_nDpiValue = 0;
int IConfigureService::s_nMjpgCompress = 0;
QString IConfigureService::s_strPhotoPath;
QString IConfigureService::s_strVideoPath;
QString IConfigureService::s_strDocumentPath;
std::atomic<bool> IConfigureService::s_bRememberCameraSettings{true};
const char* const IConfigureService::kRememberCameraSettingsKey = "camera/remember_settings";
std::atomic<bool> IConfigureService::s_bUsePipeWire{true};
const char* const IConfigureService::kUsePipeWireKey = "camera/use_pipewire";
std::atomic<bool> IConfigureService::s_bKeepCameraSettings{true};
const char* const IConfigureService::kKeepCameraSettingsKey = "camera/keep_settings";
QString IConfigureService::s_strProductName;
QString IConfigureService::s_strVersion;

namespace {
constexpr int kMajor = 1;
constexpr int kMinor = 0;
const char* const kDefaultVersion = "V1.0.8041_2019.04.22";

// Says once per run that settings cannot be stored, instead of on every write.
void reportWriteFailure(const QSettings& settings)
{
    static bool reported = false;
    if (settings.status() != QSettings::NoError && !reported) {
        reported = true;
        qDebug() << "configure file not writable, settings kept in memory:" << settings.fileName();
    }
}

// A file QSettings cannot parse is set aside rather than overwritten on the next write.
void setAsideIfCorrupt(QSettings& settings)
{
    if (settings.status() != QSettings::FormatError)
        return;
    const QString path = settings.fileName();
    const QString aside = path + ".corrupt-" + QDateTime::currentDateTime().toString("yyyyMMddhhmmss");
    qDebug() << "configure file is corrupt, using defaults; kept as" << aside;
    QFile::copy(path, aside);
}
} // namespace

IConfigureService::IConfigureService() = default;

IConfigureService* IConfigureService::instance()
{
    static IConfigureService service;
    return &service;
}

QString IConfigureService::iniFilePath()
{
    return makeWritableDir(QStringLiteral("ini/")) + QStringLiteral("application.ini");
}

QString IConfigureService::versionText(const QString& buildStamp, int buildNumber)
{
    QString date = buildStamp.section(' ', 0, 0);
    date.replace('/', '.');
    return QStringLiteral("V%1.%2.%3_%4").arg(kMajor).arg(kMinor).arg(buildNumber).arg(date);
}

void IConfigureService::loadDefaults()
{
    s_strProductName = QCoreApplication::translate("IConfigureService", "Lumivo");
    s_strVersion = QString::fromLatin1(kDefaultVersion);
    CameraResolution resolution = currentCameraResolution();
    resolution.size = QSize(1600, 1200);
    setCurrentCameraResolution(resolution);
    registerCameraMetaTypes();
}

void IConfigureService::readConfigure()
{
    loadDefaults();
    s_strVersion = versionText(QStringLiteral(LUMIVO_BUILD_STAMP), LUMIVO_BUILD_NUMBER);
    qDebug().noquote() << "current software version:" << s_strVersion;

    QSettings settings(iniFilePath(), QSettings::IniFormat);
    setAsideIfCorrupt(settings);
    s_strPhotoFormat = settings.value("format/photo", "jpg").toString();
    s_strVideoFormat = settings.value("format/video", "mp4").toString();
    s_nDpiValue = settings.value("format/dpi_value", 275).toInt();
    s_nMjpgCompress = settings.value("format/mjpg_compres", 100).toInt();
    s_strPhotoPath = settings.value("path/photo", makeWritableDir("photo/")).toString();
    s_strVideoPath = settings.value("path/video", makeWritableDir("video/")).toString();
    s_strDocumentPath = settings.value("path/document", makeWritableDir("document/")).toString();
    s_bRememberCameraSettings = settings.value(kRememberCameraSettingsKey, true).toBool();
    s_bUsePipeWire = settings.value(kUsePipeWireKey, true).toBool();
    s_bKeepCameraSettings = settings.value(kKeepCameraSettingsKey, true).toBool();
    CameraResolution resolution = currentCameraResolution();
    const int height = settings.value("cameraresolution/height", 1080).toInt();
    const int width = settings.value("cameraresolution/width", 1920).toInt();
    resolution.size = QSize(width, height);
    setCurrentCameraResolution(resolution);
}

void IConfigureService::writeConfigure()
{
    QSettings settings(iniFilePath(), QSettings::IniFormat);
    const QSize size = currentCameraResolution().size;
    settings.setValue("lang/langid", s_strLangId);
    settings.setValue("path/photo", s_strPhotoPath);
    settings.setValue("path/video", s_strVideoPath);
    settings.setValue("path/document", s_strDocumentPath);
    settings.setValue("format/photo", s_strPhotoFormat);
    settings.setValue("format/video", s_strVideoFormat);
    settings.setValue("format/dpi_value", s_nDpiValue);
    settings.setValue("format/mjpg_compres", s_nMjpgCompress);
    settings.setValue("cameraresolution/width", size.width());
    settings.setValue("cameraresolution/height", size.height());
    settings.setValue(kRememberCameraSettingsKey, s_bRememberCameraSettings.load());
    settings.setValue(kUsePipeWireKey, s_bUsePipeWire.load());
    settings.setValue(kKeepCameraSettingsKey, s_bKeepCameraSettings.load());
    settings.sync();
    reportWriteFailure(settings);
}

void IConfigureService::setLanguage(const QString& langId)
{
    s_strLangId = langId;
    setValue("lang/langid", langId);
}

bool IConfigureService::setValue(const QString& key, const QVariant& value)
{
    QSettings settings(iniFilePath(), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    reportWriteFailure(settings);
    return true;
}

QString languageFilePath(const QString& langId)
{
    // A non-numeric id gives 0, so lang/0.qm is looked for and not found.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/lang/%1.qm").arg(langId.toInt(nullptr, 10));
}

bool loadLanguage(IApplication* /*app*/)
{
    QString id;
    {
        // The first reader at start-up: setLanguage below rewrites the file.
        QSettings settings(IConfigureService::iniFilePath(), QSettings::IniFormat);
        setAsideIfCorrupt(settings);
        id = settings.value("lang/langid", "2052").toString();
    }
    id.remove(QStringLiteral("LG_"));
    IConfigureService::instance()->setLanguage(id);

    static QTranslator* translator = new QTranslator(QCoreApplication::instance());
    const QString path = languageFilePath(IConfigureService::s_strLangId);
    const bool loaded = translator->load(path);
    if (loaded) {
        const bool installed = QCoreApplication::installTranslator(translator);
        qDebug() << "install translator:" << installed;
    }
    qDebug().noquote() << "load language:" << IConfigureService::s_strLangId << path << loaded;
    return true;
}
