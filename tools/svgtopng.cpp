// Build-time helper: renders an SVG to a square PNG of the given size, so that the
// sized application icons are generated from the one SVG instead of being committed.
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: svgtopng <in.svg> <out.png> <size>\n");
        return 2;
    }
    bool ok = false;
    const int size = args.at(3).toInt(&ok);
    if (!ok || size < 1 || size > 4096) {
        std::fprintf(stderr, "svgtopng: bad size '%s'\n", qPrintable(args.at(3)));
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "svgtopng: cannot read '%s'\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(0, 0, size, size));
    painter.end();
    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "svgtopng: cannot write '%s'\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
