#pragma once

#include <QStringList>

#include <functional>

class MainFrame;
class QObject;

// The real main window for the UI tests, made once per program through the application
// object (pages reach the main window through it). Quit requests are counted instead of
// ending the program.
namespace MainWindow {

// Runs a test object under an application object whose id differs from the program's,
// so a test never meets a running Lumivo.
int run(QObject* test, int argc, char** argv);
// Creates the main window in English and waits until it is shown.
MainFrame* create();
// Opens `path` as a click on its tile does (or through the page); the open result or -1.
int open(const QString& path);
QStringList tilePaths();
// Runs `action` and says whether the program was told to quit within `ms`.
bool quitsAfter(const std::function<void()>& action, int ms = 1000);

} // namespace MainWindow

#define LUMIVO_UI_TEST_MAIN(TestClass)                                                                                 \
    int main(int argc, char** argv) { TestClass test; return MainWindow::run(&test, argc, argv); }
