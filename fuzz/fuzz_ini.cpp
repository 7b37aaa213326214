// The settings file as any program or a damaged disk may leave it: read at start-up
// (language, then the rest), written back, and read again.
#include "fuzzsupport.h"

#include "base/icamerainfo.h"
#include "base/iconfigureservice.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::initApplication();
    return 0;
}

namespace {
struct Values
{
    QString lang, photoFormat, videoFormat, photoPath, videoPath, documentPath;
    int dpi = 0, compress = 0;
    QSize size;

    static Values now()
    {
        using S = IConfigureService;
        return {S::s_strLangId, S::s_strPhotoFormat, S::s_strVideoFormat, S::s_strPhotoPath, S::s_strVideoPath,
                S::s_strDocumentPath, S::s_nDpiValue, S::s_nMjpgCompress, currentCameraResolution().size};
    }
    bool operator==(const Values& o) const
    {
        return lang == o.lang && photoFormat == o.photoFormat && videoFormat == o.videoFormat && photoPath == o.photoPath
            && videoPath == o.videoPath && documentPath == o.documentPath && dpi == o.dpi && compress == o.compress
            && size == o.size;
    }
};

// QSettings caches files by size and time: every state of the file gets a time of its own.
void touch(const QString& path)
{
    static qint64 stamp = 1000000000000;
    stamp += 2000;
    QFile f(path);
    if (f.open(QIODevice::ReadWrite))
        f.setFileTime(QDateTime::fromMSecsSinceEpoch(stamp), QFileDevice::FileModificationTime);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(bytes);
    f.close();
    touch(path);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = IConfigureService::iniFilePath();
    writeFile(path, QByteArray(reinterpret_cast<const char*>(data), int(size)));

    IConfigureService* service = IConfigureService::instance();
    loadLanguage(nullptr);
    service->readConfigure();
    const Values read = Values::now();

    // What was written back reads as the same values (the language once more without
    // any "LG_" its removal left behind).
    service->writeConfigure();
    touch(path);
    service->readConfigure();
    loadLanguage(nullptr);
    Values expected = read;
    expected.lang.remove(QStringLiteral("LG_"));
    fuzzsupport::check(Values::now() == expected, "settings changed by a write and read");

    // Files set aside as corrupt would pile up over a long run.
    const QFileInfo info(path);
    for (const QString& name : info.dir().entryList({"application.ini.*"}, QDir::Files))
        info.dir().remove(name);
    return 0;
}
