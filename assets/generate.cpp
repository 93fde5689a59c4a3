// Draws the target picture and the icon. Run once and commit the output beside this file:
//   rivir_assets_generator <output folder>
// The package build also draws the icon at the desktop's usual sizes:
//   rivir_assets_generator --icons <folder for hicolor/NxN/apps/rivir.png>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>

namespace {

// Rings round the middle, brightest close in; a soft glow under each so they read as light.
void drawRings(QPainter& p, QPointF centre, double spacing, int count, double width)
{
    for (int i = count; i >= 1; --i) {
        const double r = spacing * i;
        const int fade = 255 - (i - 1) * 150 / count;
        QColor glow(0, fade, 0, 60);
        p.setPen(QPen(glow, width * 3.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, r, r);
        p.setPen(QPen(QColor(40, fade, 40), width));
        p.drawEllipse(centre, r, r);
    }
    QRadialGradient core(centre, spacing * 0.8);
    core.setColorAt(0.0, QColor(200, 255, 200));
    core.setColorAt(1.0, QColor(0, 255, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(core);
    p.drawEllipse(centre, spacing * 0.8, spacing * 0.8);
}

// A wedge of white light from the upper right corner, fading as it reaches the middle.
void drawBeam(QPainter& p, QPointF corner, QPointF target, double spread)
{
    const QPointF dir = target - corner;
    const double len = std::hypot(dir.x(), dir.y());
    const QPointF normal(-dir.y() / len, dir.x() / len);
    QPainterPath wedge;
    wedge.moveTo(corner + normal * (spread * 0.08));
    wedge.lineTo(target + normal * spread);
    wedge.lineTo(target - normal * spread);
    wedge.lineTo(corner - normal * (spread * 0.08));
    wedge.closeSubpath();
    QLinearGradient fade(corner, target);
    fade.setColorAt(0.0, QColor(255, 255, 255, 255));
    fade.setColorAt(0.35, QColor(255, 255, 255, 170));
    fade.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(fade);
    p.drawPath(wedge);
}

QImage targetPicture()
{
    QImage image(361, 241, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    drawRings(p, QPointF(180.5, 120.5), 14.0, 9, 2.0);
    drawBeam(p, QPointF(361.0, 0.0), QPointF(190.0, 112.0), 22.0);
    return image;
}

// Drawn on a 32-pixel grid, scaled to `size`.
QImage icon(int size = 32)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setCompositionMode(QPainter::CompositionMode_Plus);
        p.scale(size / 32.0, size / 32.0);
        drawRings(p, QPointF(16.0, 16.0), 4.5, 3, 1.5);
        drawBeam(p, QPointF(32.0, 0.0), QPointF(17.0, 15.0), 3.0);
    }
    // The 16 colours of the classic palette, so the icon stays a 16-colour icon.
    const QRgb vga[16] = { 0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080,
                           0xff008080, 0xffc0c0c0, 0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
                           0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff };
    return image.convertToFormat(QImage::Format_Indexed8, QList<QRgb>(std::begin(vga), std::end(vga)),
                                 Qt::ThresholdDither);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--icons")) {
        const QString root = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/hicolor/");
        for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
            const QString dir = root + QStringLiteral("%1x%1/apps").arg(size);
            if (!QDir().mkpath(dir) || !icon(size).save(dir + QStringLiteral("/rivir.png"), "PNG")) {
                std::fprintf(stderr, "could not write the %dx%d icon\n", size, size);
                return 1;
            }
        }
        return 0;
    }
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const bool picture = targetPicture().save(dir + QStringLiteral("/target.jpg"), "JPEG", 92);
    const bool iconSaved = icon().save(dir + QStringLiteral("/icon.png"), "PNG");
    if (!picture || !iconSaved) {
        std::fputs("could not write the pictures\n", stderr);
        return 1;
    }
    return 0;
}
