#include "base/appenvironment.h"
#include "base/outputmessage.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
QStringList readLog()
{
    QFile file(logFilePath(QDate::currentDate()));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}
} // namespace

class TestLog : public QObject
{
    Q_OBJECT
private slots:
    void init() { QDir(makeWritableDir("log/")).removeRecursively(); }

    // The layout readers of the log rely on; %-sequences in a message stay as they are.
    void lineLayout()
    {
        QMessageLogContext context("src/mainframe.cpp", 177, "void MainFrame::closeEvent(QCloseEvent*)", "default");
        const QDateTime when(QDate(2019, 4, 22), QTime(9, 15, 3, 417));
        QCOMPARE(formatLogLine(QtDebugMsg, context, "exit %1 and %% app--->", when),
                 QStringLiteral("(2019-04-22 09:15:03 417) Debug: exit %1 and %% app--->    File:(src/mainframe.cpp) "
                                "Line:(177) Function(void MainFrame::closeEvent(QCloseEvent*))"));
        QVERIFY(formatLogLine(QtDebugMsg, QMessageLogContext(), "m", when).endsWith("File:() Line:(0) Function()"));
        QCOMPARE(QFileInfo(logFilePath(QDate(2019, 4, 22))).fileName(), QStringLiteral("log_20190422.txt"));
    }

    // Warnings stay out; UTF-8 arrives whole; a deleted log folder is made again.
    void writesLines()
    {
        QMessageLogContext context("a.cpp", 12, "void f()", "default");
        outputMessage(QtDebugMsg, context, "first");
        outputMessage(QtWarningMsg, context, "never written");
        QVERIFY(QDir(makeWritableDir("log/")).removeRecursively());
        outputMessage(QtDebugMsg, context, QString::fromUtf8("开启回调模式失败：中文"));
        const QStringList lines = readLog();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains(QString::fromUtf8("Debug: 开启回调模式失败：中文    File:(a.cpp)")));
        outputMessage(QtDebugMsg, context, "first");
        outputMessage(QtWarningMsg, context, "never written");
        QCOMPARE(readLog().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
