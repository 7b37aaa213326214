#include "app/iautostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

const char* const IAutostart::kAppId = "io.github.lumivo.Lumivo";

QString IAutostart::filePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The conventions ignore a relative XDG_CONFIG_HOME.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + QLatin1String(kAppId) + QStringLiteral(".desktop");
}

bool IAutostart::isEnabled()
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.trimmed() == "Hidden=true")
            return false;
    return true;
}

bool IAutostart::setEnabled(bool on, const QString& program, QString* error)
{
    const QString path = filePath();
    if (!on) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        QFile file(path);
        file.remove();
        *error = QObject::tr("%1 cannot be removed: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QObject::tr("the folder %1 cannot be created").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    // Exec quotes the path when it needs it; a quote, backslash or dollar inside is escaped.
    QString exec = program;
    if (exec.contains(QRegularExpression(QStringLiteral("[\\s\"'\\\\$`]")))) {
        exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\\\\\"));
        exec.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        exec.replace(QLatin1Char('$'), QStringLiteral("\\$"));
        exec.replace(QLatin1Char('`'), QStringLiteral("\\`"));
        exec = QLatin1Char('"') + exec + QLatin1Char('"');
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Lumivo\n"
                                             "Comment=Preview USB webcams and adjust their picture settings\n"
                                             "Exec=%1 --hidden\nIcon=%2\nTerminal=false\nX-GNOME-Autostart-enabled=true\n")
                                  .arg(exec, QLatin1String(kAppId));
        file.write(entry.toUtf8());
        if (file.commit())
            return true;
    }
    *error = QObject::tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}
