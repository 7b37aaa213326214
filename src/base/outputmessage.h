#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The process's message handler: one line per message in the day's log file
// (makeWritableDir("log/") + "/log_yyyyMMdd.txt"); warnings are dropped.
void outputMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);

// The line outputMessage writes (without the trailing "\r\n"); empty for a warning.
QString formatLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                      const QDateTime& now);

// The day's log file for `day`.
QString logFilePath(const QDate& day);
