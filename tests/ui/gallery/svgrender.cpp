// Renders an SVG into square PNGs, one per size: svgrender in.svg outdir 16 32 48 ...
// Used to make the application icon from resources/lumivo.svg.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 4) {
        err << "usage: svgrender in.svg outdir size...\n";
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        err << "cannot read " << args.at(1) << "\n";
        return 1;
    }
    for (int i = 3; i < args.size(); ++i) {
        const int size = args.at(i).toInt();
        if (size <= 0 || size > 1024) {
            err << "bad size " << args.at(i) << "\n";
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString out = QString("%1/%2.png").arg(args.at(2)).arg(size, 3, 10, QChar('0'));
        if (!image.save(out)) {
            err << "cannot write " << out << "\n";
            return 1;
        }
    }
    return 0;
}
