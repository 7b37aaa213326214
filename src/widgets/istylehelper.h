#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QLabel;
class QScrollArea;
class QWidget;

// One typeface rule and one way of styling labels and colours for the whole interface.
// Sizes are design sizes at 96 DPI; they are compensated for the screen's DPI and
// multiplied by g_dScale.

// Registers the compiled-in icons and images (":/utils/", ":/filter/"). The toolkit is a
// static library, so nothing else would pull its resources into a program. Idempotent;
// every toolkit widget calls it.
void ensureToolkitResources();

// The font of `size` design points and `weight`, for the current language. Weights are
// on the 0..99 scale (50 normal, 75 bold) in either Qt.
QFont createFont(int size, int weight = 50);
// The same for a given logical DPI (createFont uses the desktop's).
QFont createFont(int size, int weight, double logicalDpi);

// Point size of a `size` design-point font at `logicalDpi` and scale `scale`.
double fontPointSize(int size, double logicalDpi, double scale);
// The family for language id `langId` among the installed `families`.
QString fontFamily(const QString& langId, const QStringList& families);

// "rgba(r,g,b,a)" with 0-255 components.
QString rgbaString(const QColor& color);
// `text` wrapped in a <font> tag with the font's family, size and the colour (tooltips).
QString richText(const QString& text, const QFont& font, const QColor& color);

// A transparent label in black with the 12-point font.
QLabel* createLabel(const QString& text, QWidget* parent = nullptr);
// A transparent label in `color` (alpha dropped) with `font`.
QLabel* createLabel(const QString& text, const QColor& color, const QFont& font = createFont(12),
                    QWidget* parent = nullptr);
// An empty rounded bar `height` design pixels high in `color`.
QLabel* createRoundLabel(const int& height, const QColor& color, QWidget* parent = nullptr);

// A dashed horizontal rule `width` design pixels thick (at least one pixel) in `color`.
QLabel* createDashedLine(int width, const QColor& color, QWidget* parent = nullptr);
// Makes `area` a frameless, transparent, vertically scrolling area with a thin rounded bar.
void styleScrollArea(QScrollArea* area);

// Style sheets of the camera page's parts, sizes scaled by g_dScale.
// The borderless resolution combo box and its drop-down list.
QString resolutionBoxStyle();
// The white rounded card of the widget named `objectName` (the parameter panel).
QString cardStyle(const QString& objectName);
