#pragma once

#include <QObject>

// Hears the machine wake up: logind's PrepareForSleep(false) on the system bus. Without
// a system bus or logind it says so once and stays silent.
class IResumeListener : public QObject
{
    Q_OBJECT
public:
    explicit IResumeListener(QObject* parent = nullptr);

signals:
    void resumed();

private slots:
    void onPrepareForSleep(bool sleeping);
};
