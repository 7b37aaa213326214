#pragma once

#include <QString>

// Interface lengths are design values at 1920x1080 multiplied by g_dScale.
extern double g_dScale;
extern double g_dScaleX;
extern double g_dScaleY;

struct ScaleFactors
{
    double scaleX = 1.0;
    double scaleY = 1.0;
    double scale = 1.0;
};

// The factors for a primary screen of width x height pixels.
ScaleFactors computeScaleFactors(int width, int height);

// Writes the factors to g_dScaleX, g_dScaleY and g_dScale.
void applyScaleFactors(const ScaleFactors& factors);

// The per-user data location plus `sub` ("log/", "ini/", ...), created when missing.
QString makeWritableDir(const QString& sub);
