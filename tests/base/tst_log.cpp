#include "base/appenvironment.h"
#include "base/outputmessage.h"

#include <QDir>
#include <QFile>
#include <QThread>
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
        QCOMPARE(formatLogLine(QtCriticalMsg, context, "x", when).section(' ', 3, 3), QStringLiteral("Critical:"));
        QCOMPARE(formatLogLine(QtFatalMsg, context, "x", when).section(' ', 3, 3), QStringLiteral("Fatal:"));
        // Informational messages have no level word: two spaces before the text.
        QVERIFY(formatLogLine(QtInfoMsg, context, "hello", when).startsWith("(2019-04-22 09:15:03 417)  hello    File:"));
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
        const QString before = logFilePath(QDate(2019, 4, 22));
        const QString after = logFilePath(QDate(2019, 4, 23));
        QCOMPARE(QFileInfo(before).fileName(), QStringLiteral("log_20190422.txt"));
        QCOMPARE(QFileInfo(after).fileName(), QStringLiteral("log_20190423.txt"));
        QCOMPARE(QFileInfo(before).absoluteDir(), QDir(makeWritableDir("log/")));
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

    void threadsWriteWholeLines()
    {
        constexpr int kPerThread = 300;
        auto writer = [](const QString& tag) {
            QMessageLogContext context("t.cpp", 7, "run", "default");
            for (int i = 0; i < kPerThread; ++i)
                outputMessage(QtDebugMsg, context, QStringLiteral("%1-%2-").arg(tag).arg(i) + QString(200, 'x'));
        };
        QThread* a = QThread::create(writer, QStringLiteral("A"));
        QThread* b = QThread::create(writer, QStringLiteral("B"));
        a->start();
        b->start();
        a->wait();
        b->wait();
        delete a;
        delete b;

        const QStringList lines = readLog();
        QCOMPARE(lines.size(), 2 * kPerThread);
        QRegularExpression whole(R"(^\(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \d{3}\) Debug: [AB]-\d+-x{200}    File:\(t\.cpp\) Line:\(7\) Function\(run\)$)");
        int fromA = 0;
        for (const QString& line : lines) {
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(120)));
            fromA += line.contains(") Debug: A-") ? 1 : 0;
        }
        QCOMPARE(fromA, kPerThread);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
