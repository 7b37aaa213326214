#pragma once

#include "widgets/ibasedialog.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>

class ISwitchButton;
class QComboBox;
class QLabel;
class QStackedWidget;
class QVBoxLayout;

// The settings dialog: the software's name and version, and the interface language.
// Choosing another language stores it and restarts the program in that language.
class ISettingFrame : public IBaseDialog
{
    Q_OBJECT
public:
    ISettingFrame(IApplication* application, QWidget* parent = nullptr);

    // true: centred on the parent and run modally until closed; false: accept.
    virtual void setVisibleCentered(const bool& visible);

    // Starts a new copy of the program with the same arguments and working directory.
    // The new copy is told that it is a restart, so that it waits for this copy's
    // single-instance lock instead of taking itself for a second copy.
    void restart();

    QComboBox* languageBox() const { return m_pLanguageBox; }
    // "Remember camera settings".
    ISwitchButton* rememberSwitch() const { return m_pRememberSwitch; }
    // "Use PipeWire when available".
    ISwitchButton* pipeWireSwitch() const { return m_pPipeWireSwitch; }
    // "Keep my camera settings when other programs change them".
    ISwitchButton* keepSwitch() const { return m_pKeepSwitch; }
    // "Start Lumivo when I log in", and the note that says why it could not be set.
    ISwitchButton* autostartSwitch() const { return m_pAutostartSwitch; }
    QLabel* autostartNote() const { return m_pAutostartNote; }
    const QList<QPair<QString, QString>>& languageList() const { return languages; }

    // Environment variable that marks a restarted copy.
    static const char* const kRestartMarker;

private slots:
    void slCurrentIndexChanged(int index);

private:
    void initLanguages();
    void initUI();
    void addAboutRows(QVBoxLayout* box);
    void addCameraRows(QVBoxLayout* box);
    // A switch for a setting of application.ini: written at once when flipped.
    ISwitchButton* createStoredSwitch(const QString& name, std::atomic<bool>& setting, const QString& key,
                                      std::function<void()> changed = {});
    void createAutostartSwitch();
    QComboBox* createComboBox(int boxHeight, int itemHeight, const QFont& boxFont, const QFont& itemFont);

    QList<QPair<QString, QString>> languages;
    QStackedWidget* m_pStack = nullptr;
    QComboBox* m_pLanguageBox = nullptr;
    ISwitchButton* m_pRememberSwitch = nullptr;
    ISwitchButton* m_pPipeWireSwitch = nullptr;
    ISwitchButton* m_pKeepSwitch = nullptr;
    ISwitchButton* m_pAutostartSwitch = nullptr;
    QLabel* m_pAutostartNote = nullptr;
};
