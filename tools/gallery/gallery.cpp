// The widget gallery: every toolkit widget in its states on one window, at a chosen
// scale and language. Writes gallery_<scale>.png with --out; stays open with --show
// (for screenshots of a real display under Xvfb).
//
//   lumivo_gallery [--scale 0.711111] [--lang 2052|1033] [--out DIR] [--show]
#include "appenvironment.h"
#include "camera/icamerainfo.h"
#include "customui/ibasedialog.h"
#include "customui/ibasewidget.h"
#include "customui/ibutton.h"
#include "customui/icamerabutton.h"
#include "customui/ifilterbutton.h"
#include "customui/islider.h"
#include "customui/istylehelper.h"
#include "customui/iswitchbutton.h"
#include "customui/ititlewidget.h"
#include "customui/itxtbutton.h"
#include "customui/page/icamerapreview.h"
#include "service/iconfigureservice.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QSvgWidget>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

namespace {

// A synthetic 16:9 camera frame: a gradient with a few shapes and a test card grid.
QImage testFrame()
{
    QImage image(1920, 1080, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 1920, 1080);
    g.setColorAt(0, QColor(40, 90, 160));
    g.setColorAt(1, QColor(230, 150, 60));
    p.fillRect(image.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 90), 4));
    for (int x = 0; x <= 1920; x += 160)
        p.drawLine(x, 0, x, 1080);
    for (int y = 0; y <= 1080; y += 120)
        p.drawLine(0, y, 1920, y);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QPoint(960, 540), 300, 300);
    p.setBrush(QColor(231, 20, 26));
    p.drawEllipse(QPoint(960, 540), 180, 180);
    p.setBrush(QColor(63, 58, 57));
    p.drawEllipse(QPoint(960, 540), 90, 90);
    return image;
}

QLabel* caption(const QString& text)
{
    return createLabel(text, QColor("#ADADAD"), createFont(9));
}

QWidget* labelled(const QString& text, QWidget* widget)
{
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(int(4 * g_dScale));
    layout->addWidget(caption(text));
    layout->addWidget(widget);
    return box;
}

// A page carrying the registry, so the factories can be used as the pages use them.
class GalleryPage : public IBaseWidget
{
public:
    GalleryPage()
    {
        const double s = g_dScale;
        setBackgroundColor(QColor(240, 240, 240));

        auto* title = new ITitleWidget(nullptr, this);

        // Switches.
        auto* on = createSwitchButton(4);
        auto* off = createSwitchButton(5);
        on->setAnimation(false);
        on->setStatus(true);
        auto* switches = new QWidget;
        auto* switchRow = new QHBoxLayout(switches);
        switchRow->setContentsMargins(0, 0, 0, 0);
        switchRow->addWidget(labelled("switch on", on));
        switchRow->addSpacing(int(20 * s));
        switchRow->addWidget(labelled("switch off", off));
        switchRow->addStretch();

        // Sliders as the camera page styles them, and one with the default style.
        auto* enabled = new ISlider(Qt::Horizontal);
        enabled->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        enabled->setRange(0, 100);
        enabled->setValue(60);
        enabled->setFixedWidth(int(220 * s));
        auto* disabled = new ISlider(Qt::Horizontal);
        disabled->applyStyle(4, 10, 5, QColor(255, 0, 0), QColor(221, 221, 221), false);
        disabled->setRange(0, 100);
        disabled->setValue(35);
        disabled->setFixedWidth(int(220 * s));
        disabled->setEnabled(false);
        auto* standard = new ISlider(Qt::Horizontal);
        standard->setRange(0, 100);
        standard->setValue(45);
        standard->setFixedWidth(int(220 * s));

        // Device tiles.
        ICameraInfo info;
        info.strDevicePath = "/sys/devices/usb1/video0";
        info.strDisplayName = "USB 2.0 Camera (1)";
        auto* framed = createCameraButton(info.strDevicePath, info, true);
        ICameraInfo header = info;
        header.strDisplayName = "Quorvan Camera";
        auto* plain = createCameraButton(0, header, false);

        // Tabs.
        auto* tabs = new QWidget;
        auto* tabRow = new QHBoxLayout(tabs);
        tabRow->setContentsMargins(0, 0, 0, 0);
        tabRow->setSpacing(0);
        auto* parameter = createTxtButton(2, QObject::tr("Parameter"), true);
        auto* filter = createTxtButton(3, QObject::tr("Filter"), true);
        parameter->setChecked(true);
        tabRow->addWidget(parameter);
        tabRow->addWidget(filter);

        // Filters, one checked.
        auto* original = createFilterButton(11, "Original", QString::fromUtf8(":/filter/Original\u200b\u200b.svg"));
        auto* bright = createFilterButton(12, "Bright", ":/filter/Bright.svg");
        original->setChecked(true);

        // Coloured and icon buttons.
        auto* buttons = new QWidget;
        auto* buttonRow = new QHBoxLayout(buttons);
        buttonRow->setContentsMargins(0, 0, 0, 0);
        buttonRow->addWidget(createColorButton(7, "Restore default", QSize(100, 30), Qt::white, QColor("#E7141A")));
        buttonRow->addWidget(createColorButton(8, "Restore the factory defaults", QSize(100, 30), Qt::white,
                                               QColor("#E7141A")));
        buttonRow->addWidget(createButton(1, "Back", ":/utils/left.svg", QSize(20, 20)));
        buttonRow->addWidget(createButton(9, "Next", ":/utils/right.svg", QSize(20, 20)));
        buttonRow->addStretch();

        // A titled dialog, embedded so it shows on the same picture.
        auto* dialog = new IBaseDialog("Settings", true);
        dialog->setWindowFlags(Qt::Widget);
        dialog->setAttribute(Qt::WA_TranslucentBackground);
        dialog->setFixedSize(int(360 * s), int(150 * s));
        auto* dialogLayout = new QVBoxLayout(dialog);
        dialogLayout->setContentsMargins(int(20 * s), int(50 * s), int(20 * s), int(10 * s));
        dialogLayout->addWidget(createLabel("About", QColor(153, 153, 153)));
        dialogLayout->addWidget(createLabel("Software name:  Lumivo", QColor(51, 51, 51)));
        dialogLayout->addStretch();
        auto* panel = new IBaseDialog(QString(), false);
        panel->setWindowFlags(Qt::Widget);
        panel->setAttribute(Qt::WA_TranslucentBackground);
        panel->setFixedSize(int(120 * s), int(150 * s));
        auto* panelLayout = new QVBoxLayout(panel);
        panelLayout->addWidget(createLabel("untitled", Qt::white), 0, Qt::AlignCenter);

        auto* dialogs = new QWidget;
        dialogs->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        auto* dialogRow = new QHBoxLayout(dialogs);
        dialogRow->setContentsMargins(0, 0, 0, 0);
        dialogRow->addWidget(dialog);
        dialogRow->addWidget(panel);
        dialogRow->addStretch();

        // Previews: frame, message, logo.
        auto* frame = new ICameraPreview;
        frame->setFixedWidth(int(400 * s));
        frame->setImage(testFrame());
        auto* message = new ICameraPreview;
        message->setFixedWidth(int(400 * s));
        message->setMessage("No preview availableWebcam is used by another application.");
        auto* logo = new ICameraPreview;
        logo->setFixedWidth(int(400 * s));

        // Icons on their own.
        auto* icons = new QWidget;
        auto* iconRow = new QHBoxLayout(icons);
        iconRow->setContentsMargins(0, 0, 0, 0);
        const char* const utilIcons[] = {"radio1", "radio2", "drop1", "more",  "close",         "left",
                                         "right",  "camera", "downArrow", "downArrowWhite"};
        for (const char* name : utilIcons) {
            auto* w = new QSvgWidget(QString(":/utils/%1.svg").arg(name));
            const bool camera = QLatin1String(name) == QLatin1String("camera");
            w->setFixedSize(camera ? QSize(int(40 * s), int(50 * s)) : QSize(int(20 * s), int(20 * s)));
            if (QLatin1String(name) == QLatin1String("downArrowWhite")) {
                auto* dark = new QWidget;
                dark->setStyleSheet("background:#3F3A39;");
                auto* l = new QHBoxLayout(dark);
                l->setContentsMargins(2, 2, 2, 2);
                l->addWidget(w);
                iconRow->addWidget(dark);
            } else {
                iconRow->addWidget(w);
            }
        }
        auto* appIcon = new QLabel;
        appIcon->setPixmap(QIcon(":/utils/application.ico").pixmap(int(48 * s), int(48 * s)));
        iconRow->addWidget(appIcon);
        iconRow->addStretch();

        auto* filters = new QWidget;
        auto* filterGrid = new QGridLayout(filters);
        filterGrid->setContentsMargins(0, 0, 0, 0);
        const QString filterIcons[] = {QString::fromUtf8("Original\u200b\u200b"), "Bright", "Blossom", "Forest",
                                       "Film", "Mono", "Glaze"};
        int n = 0;
        for (const QString& name : filterIcons) {
            auto* w = new QSvgWidget(QString(":/filter/%1.svg").arg(name));
            w->setFixedSize(int(120 * s), int(50 * s));
            filterGrid->addWidget(w, n / 4, n % 4);
            ++n;
        }

        // Two columns of about the main window's width.
        auto* left = new QVBoxLayout;
        left->setSpacing(int(10 * s));
        left->addWidget(labelled("title bar", title));
        left->addWidget(switches);
        left->addWidget(labelled("slider enabled", enabled));
        left->addWidget(labelled("slider disabled", disabled));
        left->addWidget(labelled("slider default style", standard));
        left->addWidget(labelled("device tile (framed)", framed));
        left->addWidget(labelled("camera page header", plain));
        left->addWidget(labelled("tabs", tabs));
        left->addWidget(labelled("filter checked", original));
        left->addWidget(labelled("filter not checked", bright));
        left->addWidget(labelled("buttons", buttons));
        left->addStretch();

        auto* right = new QVBoxLayout;
        right->setSpacing(int(10 * s));
        right->addWidget(labelled("preview with a frame", frame));
        right->addWidget(labelled("preview with a message", message));
        right->addWidget(labelled("preview with the logo", logo));
        right->addStretch();

        auto* third = new QVBoxLayout;
        third->setSpacing(int(10 * s));
        third->addWidget(labelled("dialogs", dialogs));
        third->addWidget(labelled("icons", icons));
        third->addWidget(labelled("filter images", filters));
        third->addStretch();

        auto* columns = new QHBoxLayout(this);
        columns->setContentsMargins(int(20 * s), int(20 * s), int(20 * s), int(20 * s));
        columns->setSpacing(int(30 * s));
        auto* leftBox = new QWidget;
        leftBox->setLayout(left);
        leftBox->setFixedWidth(int(400 * s));
        columns->addWidget(leftBox);
        columns->addLayout(right);
        columns->addLayout(third);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString outDir;
    bool show = false;
    QString lang = "2052";
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--scale" && i + 1 < args.size())
            g_dScale = g_dScaleX = g_dScaleY = args[++i].toDouble();
        else if (args[i] == "--out" && i + 1 < args.size())
            outDir = args[++i];
        else if (args[i] == "--lang" && i + 1 < args.size())
            lang = args[++i];
        else if (args[i] == "--show")
            show = true;
    }
    if (g_dScale <= 0)
        g_dScale = 1;
    IConfigureService::s_strLangId = lang;

    QTranslator translator;
    const QString qm = QCoreApplication::applicationDirPath() + "/../lang/" + lang + ".qm";
    if (translator.load(qm))
        app.installTranslator(&translator);

    GalleryPage page;
    page.setWindowTitle("Lumivo widget gallery");
    page.adjustSize();
    page.move(0, 0);
    page.show();

    if (!outDir.isEmpty()) {
        QDir().mkpath(outDir);
        // Let layouts settle and the switch's first paint happen before grabbing.
        QTimer::singleShot(300, &page, [&] {
            const QString file = QString("%1/gallery_%2_%3.png").arg(outDir).arg(g_dScale).arg(lang);
            page.grab().save(file);
            const QString plain = QString("%1/gallery_%2.png").arg(outDir).arg(g_dScale);
            QFile::remove(plain);
            QFile::copy(file, plain);
            if (!show)
                app.quit();
        });
    }
    if (outDir.isEmpty() && !show)
        return 0;
    return app.exec();
}
