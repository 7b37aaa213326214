#pragma once

#include <QString>

// "Start Lumivo when I log in": a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart, ~/.config/autostart by default) that starts the program
// hidden in the tray, as the freedesktop autostart conventions describe.
class IAutostart
{
public:
    static const char* const kAppId;
    // The entry's path: the autostart folder + the app id + ".desktop".
    static QString filePath();
    // Whether the entry is there and not switched off (Hidden=true).
    static bool isEnabled();
    // Writes the entry (starting `program` with --hidden) or removes it. False, with
    // the reason in `error`, when the folder or file cannot be written.
    static bool setEnabled(bool on, const QString& program, QString* error);
};
