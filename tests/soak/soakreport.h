#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// What a soak run did and saw.
struct SoakReport
{
    qint64 elapsedMs = 0;
    quint32 seed = 0;
    int fileEdits = 0;
    int arrivals = 0;        // hot-plug reports seen by the program
    int removals = 0;
    int opens = 0;           // clicks on a camera in the list
    QMap<int, int> results;  // open outcome -> count
    int openUnplugs = 0;     // the open camera unplugged mid-stream
    int returnsToList = 0;   // ... and the program back on the list afterwards
    int listChecks = 0;
    int backs = 0;
    QMap<QString, int> calls;  // what the camera page sent, by operation
    int resolutionSteps = 0;
    int sliderSteps = 0;
    int switchClicks = 0;
    int lookClicks = 0;
    int restoreClicks = 0;
    qint64 previewFrames = 0;
    qint64 rssStartKb = 0;
    qint64 rssEndKb = 0;
    qint64 rssPeakKb = 0;
    QStringList problems;

    QString summary() const;
};
