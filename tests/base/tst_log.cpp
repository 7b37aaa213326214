#include "appenvironment.h"
#include "service/outputmessage.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {
QStringList readLog()
{
    QFile file(logFilePath(QDate::currentDate()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void clearLog()
{
    QDir(makeWritableDir("log/")).removeRecursively();
}
} // namespace

class TestLog : public QObject
{
    Q_OBJECT
private slots:
    void init() { clearLog(); }

    void lineLayout()
    {
        QMessageLogContext context("src/mainframe.cpp", 177, "void MainFrame::closeEvent(QCloseEvent*)", "default");
        const QDateTime when(QDate(2019, 4, 22), QTime(9, 15, 3, 417));
        QCOMPARE(formatLogLine(QtDebugMsg, context, "exit app--->", when),
                 QStringLiteral("(2019-04-22 09:15:03 417) Debug: exit app--->    File:(src/mainframe.cpp) Line:(177) "
                                "Function(void MainFrame::closeEvent(QCloseEvent*))"));
        // A missing call site gives empty fields, not a crash.
        QMessageLogContext empty;
        QVERIFY(formatLogLine(QtDebugMsg, empty, "m", when).endsWith("File:() Line:(0) Function()"));
    }

    void percentSequencesStayUnchanged()
    {
        QMessageLogContext context("f.cpp", 1, "fn", "default");
        const QString line = formatLogLine(QtDebugMsg, context, "value %1 and %2 and %%", QDateTime::currentDateTime());
        QVERIFY2(line.contains("Debug: value %1 and %2 and %%    File:(f.cpp)"), qPrintable(line));
    }

    void fileNamePerDay()
    {
        QCOMPARE(QFileInfo(logFilePath(QDate(2019, 4, 22))).fileName(), QStringLiteral("log_20190422.txt"));
    }

    void writesLinesAndDropsWarnings()
    {
        QMessageLogContext context("a.cpp", 12, "void f()", "default");
        outputMessage(QtDebugMsg, context, "first");
        outputMessage(QtWarningMsg, context, "never written");
        outputMessage(QtDebugMsg, context, QString::fromUtf8("开启回调模式失败：中文"));
        const QStringList lines = readLog();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].contains("Debug: first    File:(a.cpp) Line:(12) Function(void f())"));
        QVERIFY(lines[1].contains(QString::fromUtf8("开启回调模式失败：中文")));
        QVERIFY(!lines.join("\n").contains("never written"));
    }

    void directoryRecreatedAfterDeletion()
    {
        QMessageLogContext context("a.cpp", 1, "f", "default");
        outputMessage(QtDebugMsg, context, "one");
        QVERIFY(QDir(makeWritableDir("log/")).removeRecursively());
        outputMessage(QtDebugMsg, context, "two");
        const QStringList lines = readLog();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains("Debug: two"));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
