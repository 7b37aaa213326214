#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class MainFrame;
class QObject;

// The real main window for the UI tests, made once per test program through the
// application object (pages reach the main window through it). Quit requests are
// counted instead of ending the program.
class MainWindow
{
public:
    // Runs a test object under an application object built for tests (its id differs
    // from the program's, so a test never meets a running Lumivo).
    static int run(QObject* test, int argc, char** argv);

    // Creates the main window in English and waits until it is shown.
    static MainFrame* create();
    static MainFrame* frame();

    // Opens `path` as a click on its tile does (or through the page when it has no
    // tile) and returns the open result, or -1 when none came.
    static int open(const QString& path);
    static QStringList tilePaths();
    static QStringList tileNames();

    // Runs `action` and says whether the program was told to quit within `ms`.
    static bool quitsAfter(const std::function<void()>& action, int ms = 1000);
};

#define LUMIVO_UI_TEST_MAIN(TestClass)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        TestClass test;                                                                                                \
        return MainWindow::run(&test, argc, argv);                                                                     \
    }
