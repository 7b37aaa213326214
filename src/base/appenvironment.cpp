#include "base/appenvironment.h"

#include <QDir>
#include <QStandardPaths>

double g_dScale = 1.0;
double g_dScaleX = 1.0;
double g_dScaleY = 1.0;

ScaleFactors computeScaleFactors(int width, int height)
{
    ScaleFactors f;
    f.scaleX = width / 1920.0;
    f.scaleY = height / 1080.0;

    // The aspect test is done in single precision on purpose: 1366x768 (1.7786) must
    // count as 16:9 or wider and so take the height factor.
    const float aspect = static_cast<float>(width) / static_cast<float>(height);
    const float delta = static_cast<float>(static_cast<double>(aspect) - 1.7777777777777777);
    f.scale = (delta < 0.0f) ? f.scaleX : f.scaleY;

    // Narrower than 1200 px: scale everything by the width against 1200.
    if (f.scaleX < 1.0 && f.scaleX < 0.625) {
        const double s = width / 1200.0;
        f.scaleX = f.scaleY = f.scale = s;
    }
    return f;
}

void applyScaleFactors(const ScaleFactors& factors)
{
    g_dScaleX = factors.scaleX;
    g_dScaleY = factors.scaleY;
    g_dScale = factors.scale;
}

QString makeWritableDir(const QString& sub)
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/" + sub;
    if (!QDir(path).exists())
        QDir().mkpath(path);
    return path;
}
