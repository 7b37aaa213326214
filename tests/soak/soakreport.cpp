#include "soakreport.h"

QString SoakReport::summary() const
{
    QStringList results;
    for (auto it = this->results.begin(); it != this->results.end(); ++it)
        results << QStringLiteral("%1:%2").arg(it.key()).arg(it.value());
    QStringList sent;
    int total = 0;
    for (auto it = calls.begin(); it != calls.end(); ++it) {
        sent << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        total += it.value();
    }
    return QStringLiteral("soak: %1 s, seed %2\n"
                          "  file edits %3, arrivals %4, removals %5, list checks %6\n"
                          "  opens %7 (results %8), backs %9, open camera unplugged %10, back on the list %11\n"
                          "  widget actions: resolution %12, slider %13, switch %14, look %15, restore %16\n"
                          "  camera calls %17: %18\n"
                          "  preview frames %19\n"
                          "  memory (RSS): %20 MB after warm-up, %21 MB at the end, peak %22 MB")
        .arg(elapsedMs / 1000.0, 0, 'f', 1)
        .arg(seed)
        .arg(fileEdits)
        .arg(arrivals)
        .arg(removals)
        .arg(listChecks)
        .arg(opens)
        .arg(results.join(' '))
        .arg(backs)
        .arg(openUnplugs)
        .arg(returnsToList)
        .arg(resolutionSteps)
        .arg(sliderSteps)
        .arg(switchClicks)
        .arg(lookClicks)
        .arg(restoreClicks)
        .arg(total)
        .arg(sent.join(", "))
        .arg(previewFrames)
        .arg(rssStartKb / 1024.0, 0, 'f', 1)
        .arg(rssEndKb / 1024.0, 0, 'f', 1)
        .arg(rssPeakKb / 1024.0, 0, 'f', 1);
}
