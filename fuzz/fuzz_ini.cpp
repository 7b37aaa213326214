// The settings file as any program or a damaged disk may leave it: read at start-up
// (language, then the rest), written back, and read again.
#include "fuzzsupport.h"

#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>

namespace {
QStringList values()
{
    using S = IConfigureService;
    const QSize size = currentCameraResolution().size;
    return {S::s_strLangId, S::s_strPhotoFormat, S::s_strVideoFormat, S::s_strPhotoPath, S::s_strVideoPath, S::s_strDocumentPath,
            QString::number(S::s_nDpiValue), QString::number(S::s_nMjpgCompress), QString::number(size.width()),
            QString::number(size.height())};
}

// QSettings caches files by size and time: every state of the file gets a time of its own.
void touch(const QString& path)
{
    static time_t stamp = 1000000000;
    const timespec times[2] = {{++stamp, 0}, {stamp, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString path = IConfigureService::iniFilePath();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    f.close();
    touch(path);

    IConfigureService* service = IConfigureService::instance();
    loadLanguage(nullptr);
    service->readConfigure();
    QStringList expected = values();
    // What was written back reads as the same values (the language once more without
    // any "LG_" its removal left behind), and every setting is in the file.
    const bool readable = QSettings(path, QSettings::IniFormat).status() == QSettings::NoError;
    service->writeConfigure();
    touch(path);
    const QSettings written(path, QSettings::IniFormat);
    for (const char* key : {"lang/langid", "path/photo", "path/video", "path/document", "format/photo", "format/video",
                            "format/dpi_value", "format/mjpg_compres", "cameraresolution/width", "cameraresolution/height"})
        fuzzsupport::check(!readable || written.contains(key), "a setting not written");
    service->readConfigure();
    loadLanguage(nullptr);
    expected[0].remove(QStringLiteral("LG_"));
    fuzzsupport::check(values() == expected, "settings changed by a write and read");

    // Corrupt files are set aside, at most one a second: clear them now and then.
    static int runs = 0;
    if (++runs % 1000 == 0)
        for (const QFileInfo& aside : QFileInfo(path).dir().entryInfoList({"application.ini.*"}, QDir::Files))
            QFile::remove(aside.filePath());
    return 0;
}
