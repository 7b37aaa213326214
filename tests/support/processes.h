#pragma once

#include <QString>

class QProcess;

// The real program and the probes as processes, and the files they leave under the
// private test tree (tests/run_test.sh).
namespace processes {

QString buildDir();
QString program();                  // the built lumivo
QString probe(const QString& name); // a helper program in the build's tests/
QString tmp();                      // the test's temporary tree
QString dataDir();                  // the program's data place
QString iniPath();
bool writeFile(const QString& path, const QByteArray& bytes); // makes the folder
QByteArray readFile(const QString& path);                      // "<missing>" if it cannot
QString logText(); // every log file of the data place, oldest first
bool waitForLog(const QString& text, int timeoutMs = 15000);
bool waitForLine(QProcess& p, const QByteArray& line, int timeoutMs = 10000); // on its standard output
void stop(QProcess& p); // kills `p` if it still runs
qint64 rssKb();         // this process's resident memory

} // namespace processes
