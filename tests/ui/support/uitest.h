#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

class IApplication;
class QObject;

// What every UI test shares: the real application object (the pages reach the main
// window through it) and a record of the debug lines the code under test writes.
namespace uitest {

// Starts recording qDebug lines (replacing any earlier record).
void startLog();
// The lines recorded since startLog.
QStringList logLines();
// How many recorded lines contain `text`.
int logCount(const QString& text);

// Runs a test object under an IApplication built for tests.
int run(QObject* test, int argc, char** argv);

} // namespace uitest

#define LUMIVO_UI_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        TestClass test;                                                                                                \
        return uitest::run(&test, argc, argv);                                                                         \
    }
