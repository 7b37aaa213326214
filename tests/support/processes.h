#pragma once

#include <QString>

class QProcess;

// The real program as a process, and the files it leaves under the private test tree
// (tests/run_test.sh).
namespace processes {

QString buildDir();
QString program();                  // the built lumivo
QString tmp();                      // the test's temporary tree
QString dataDir();                  // the program's data place
QString iniPath();
bool writeFile(const QString& path, const QByteArray& bytes); // makes the folder
QByteArray readFile(const QString& path);                      // "<missing>" if it cannot
QString logText(); // every log file of the data place, oldest first
bool waitForLog(const QString& text, int timeoutMs = 15000);
void stop(QProcess& p); // kills `p` if it still runs
qint64 rssKb();         // this process's resident memory

} // namespace processes
