#include "app/iphototaker.h"

#include "base/appenvironment.h"
#include "base/iconfigureservice.h"
#include "camera/icamera.h"
#include "widgets/icamerapreview.h"
#include "widgets/ishutterbutton.h"
#include "widgets/istylehelper.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QEvent>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QSaveFile>
#include <QShortcut>
#include <QTimer>

IPhotoTaker::IPhotoTaker(QWidget* page, ICameraPreview* preview)
    : QObject(page), m_pPage(page), m_pPreview(preview)
{
    const double s = g_dScale;
    m_pButton = new IShutterButton(preview);
    m_pButton->setToolTip(tr("Take a photo (Space)"));
    m_pButton->hide();
    connect(m_pButton, &QAbstractButton::clicked, this, [this] { takePhoto(); });

    m_pNote = new QLabel(preview);
    m_pNote->setWordWrap(true);
    m_pNote->setAlignment(Qt::AlignCenter);
    m_pNote->setFont(createFont(9, 50));
    m_pNote->setContentsMargins(int(8 * s), int(4 * s), int(8 * s), int(4 * s));
    m_pNote->hide();
    m_pNoteTimer = new QTimer(this);
    m_pNoteTimer->setSingleShot(true);
    connect(m_pNoteTimer, &QTimer::timeout, m_pNote, &QWidget::hide);

    // Only while the page is the one shown: the window's other page has its own use for keys.
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Space), page, nullptr, nullptr, Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] {
        if (m_pPage->isVisible())
            takePhoto();
    });
    preview->installEventFilter(this);
}

bool IPhotoTaker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pPreview && event->type() == QEvent::Resize)
        placeButton();
    return QObject::eventFilter(watched, event);
}

void IPhotoTaker::placeButton()
{
    const QImage image = m_pPreview->image();
    const QRect picture = ICameraPreview::frameRect(m_pPreview->size(), image.size());
    if (picture.isEmpty()) {
        m_pButton->hide();
        return;
    }
    const int margin = int(10 * g_dScale);
    const QPoint corner = picture.bottomRight() - QPoint(m_pButton->width() + margin - 1, m_pButton->height() + margin - 1);
    if (m_pButton->pos() != corner)
        m_pButton->move(corner);
    m_pButton->show();
    m_pButton->raise();
}

QString IPhotoTaker::note() const { return m_pNote->isVisible() ? m_pNote->text() : QString(); }

void IPhotoTaker::showNote(const QString& text, bool failure)
{
    const double s = g_dScale;
    m_pNote->setStyleSheet(QString("QLabel { color: white; background-color: %1; border-radius: %2px; }")
                               .arg(failure ? "rgba(231,20,26,220)" : "rgba(0,0,0,160)")
                               .arg(4 * s));
    m_pNote->setText(text);
    m_pNote->setFixedWidth(m_pPreview->width() - int(20 * s));
    m_pNote->adjustSize();
    m_pNote->move(int(10 * s), int(10 * s));
    m_pNote->show();
    m_pNote->raise();
    m_pNoteTimer->start(failure ? 6000 : 3000);
}

QString IPhotoTaker::takePhoto()
{
    // The preview may show the frame decoded smaller; the camera has it at full size.
    QImage image = m_pPreview->image().isNull() ? QImage() : ICamera::instance()->photo();
    if (image.isNull() && !m_pPreview->image().isNull() && !m_bWaiting) {
        // Shown again after the stream was let go: the picture shown is the old preview,
        // and the camera's first new frame is a moment away.
        m_bWaiting = true;
        QEventLoop loop;
        QTimer::singleShot(kFirstFrameWaitMs, &loop, &QEventLoop::quit);
        connect(ICamera::instance(), &ICamera::sgPreviewImage, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_bWaiting = false;
        image = ICamera::instance()->photo();
    }
    if (image.isNull())
        image = m_pPreview->image();
    if (image.isNull()) {
        showNote(tr("There is no picture to save yet."), true);
        return QString();
    }
    QString error;
    const QString path =
        savePhoto(image, IConfigureService::s_strPhotoPath, IConfigureService::s_strPhotoFormat, &error);
    if (path.isEmpty()) {
        qDebug().noquote() << "photo not saved:" << error;
        showNote(tr("The photo could not be saved: %1").arg(error), true);
        return QString();
    }
    qDebug().noquote() << "photo saved:" << path << image.size();
    showNote(tr("Photo saved to %1").arg(QDir::toNativeSeparators(path)), false);
    emit sgPhotoSaved(path);
    return path;
}

QString IPhotoTaker::savePhoto(const QImage& image, const QString& folder, const QString& format, QString* error)
{
    QString suffix = format.trimmed().toLower();
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    if (!QImageWriter::supportedImageFormats().contains(suffix.toLatin1())) {
        qDebug() << "photo format" << format << "has no writer; saving as jpg";
        suffix = QStringLiteral("jpg");
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        *error = tr("the folder %1 cannot be created").arg(QDir::toNativeSeparators(folder));
        return QString();
    }
    const QString stem = QDir(folder).filePath(QDateTime::currentDateTime().toString("yyyyMMdd_HHmmss_zzz"));
    QString path = stem + "." + suffix;
    for (int n = 1; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1_%2.%3").arg(stem).arg(n).arg(suffix);

    // Written to a temporary file and renamed: a full disk leaves no half picture behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return QString();
    }
    QImageWriter writer(&file, suffix.toLatin1());
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        writer.setQuality(95);
    if (!writer.write(image)) {
        *error = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        file.cancelWriting();
        return QString();
    }
    if (!file.commit()) {
        *error = file.errorString();
        return QString();
    }
    return path;
}
