#pragma once

#include "base/iservice.h"

#include <QString>
#include <QVariant>

#include <atomic>

class IApplication;

// The program's settings: static values, filled with defaults, read from the per-user
// application.ini when the main window is built and written back when it closes.
class IConfigureService : public IService
{
    Q_OBJECT
public:
    static IConfigureService* instance();

    void readConfigure();
    void writeConfigure();
    void setLanguage(const QString& langId);
    bool setValue(const QString& key, const QVariant& value);
    void loadDefaults();

    // The INI file: makeWritableDir("ini/") + "application.ini".
    static QString iniFilePath();
    // "V<major>.<minor>.<build>_<yyyy.MM.dd>" from a stamp "yyyy/MM/dd hh:mm:ss".
    static QString versionText(const QString& buildStamp, int buildNumber);

    static QString s_strLangId;
    static QString s_strPhotoFormat;
    static QString s_strVideoFormat;
    static int s_nDpiValue;
    static int s_nMjpgCompress;
    static QString s_strPhotoPath;
    static QString s_strVideoPath;
    static QString s_strDocumentPath;
    // Whether cameras get back what the user set for them when they arrive.
    static std::atomic<bool> s_bRememberCameraSettings;
    static const char* const kRememberCameraSettingsKey;
    // Whether cameras a PipeWire daemon offers are shown through it (shared with other programs).
    // The switches are atomic: capture threads read them when they open a camera.
    static std::atomic<bool> s_bUsePipeWire;
    static const char* const kUsePipeWireKey;
    // Whether stored camera settings are put back after another program changes them on opening.
    static std::atomic<bool> s_bKeepCameraSettings;
    static const char* const kKeepCameraSettingsKey;
    static QString s_strProductName;
    static QString s_strVersion;

private:
    IConfigureService();
};

// Reads the language id, stores it, and installs lang/<id>.qm from beside the executable.
bool loadLanguage(IApplication* app);
// The translation file loadLanguage looks for with the given id.
QString languageFilePath(const QString& langId);
