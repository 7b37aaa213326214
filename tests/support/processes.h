#pragma once

#include <QByteArray>
#include <QString>

class QProcess;

// The real program and the probes as processes, and the files they leave: paths under
// the private test tree (tests/run_test.sh), the log reader, waiting and stopping.
namespace processes {

QString buildDir();
QString program();                   // the built lumivo
QString probe(const QString& name);  // a helper program in the build's tests/
QString tmp();                       // the test's temporary tree
// The program's data place (it derives from the executable's name) and its files.
QString dataDir();
QString iniPath();
// Every log_*.txt of the data place, oldest first.
QString logText(const QString& dataDir = processes::dataDir());
bool waitForLog(const QString& text, int count = 1, int timeoutMs = 15000);
// Waits until `p` has printed `line` on its standard output.
bool waitForLine(QProcess& p, const QByteArray& line, int timeoutMs = 10000);
// Kills `p` if it still runs and waits for it.
void stop(QProcess& p);
// A /proc status figure in kB ("VmRSS", "VmHWM") of `pid`, or of this process for 0.
qint64 statusKb(const QByteArray& key = "VmRSS", qint64 pid = 0);

} // namespace processes
