// Draws the program's logo (127 x 139, shown in the main window): the mark of
// its icon (src/ui/images/icon/quorvex.svg) with the name under it.
// Usage: drawlogo LOGO.png
// Build with: cmake --build build --target drawlogo
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

// A square wave of serial bits over a line, the way a scope shows a byte going out.
void drawBits(QPainter& p, QRectF area, QColor colour)
{
    const int bits[] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
    const qreal step = area.width() / std::size(bits);
    QPainterPath wave;
    qreal x = area.left();
    wave.moveTo(x, bits[0] ? area.top() : area.bottom());
    for (std::size_t i = 0; i < std::size(bits); ++i) {
        qreal y = bits[i] ? area.top() : area.bottom();
        wave.lineTo(x, y);
        x += step;
        wave.lineTo(x, y);
    }
    p.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

void drawLogo(QPainter& p, QRectF box)
{
    QLinearGradient sky(box.topLeft(), box.bottomLeft());
    sky.setColorAt(0, QColor(24, 52, 92));
    sky.setColorAt(1, QColor(8, 20, 40));
    p.fillRect(box, sky);

    // The "Q": a ring with a tail, in amber like a panel lamp.
    const qreal size = box.width() * 0.56;
    QRectF ring(box.center().x() - size / 2, box.top() + box.height() * 0.08, size, size);
    p.setPen(QPen(QColor(255, 176, 32), size * 0.14));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ring.adjusted(size * 0.07, size * 0.07, -size * 0.07, -size * 0.07));
    p.drawLine(QPointF(ring.center().x() + size * 0.12, ring.center().y() + size * 0.12),
               QPointF(ring.right() + size * 0.02, ring.bottom() + size * 0.02));

    const qreal waveTop = ring.bottom() + box.height() * 0.07;
    drawBits(p, QRectF(box.left() + box.width() * 0.1, waveTop, box.width() * 0.8, box.height() * 0.09),
             QColor(120, 220, 140));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(int(box.width() * 0.15));
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    p.setFont(font);
    p.setPen(QColor(230, 236, 245));
    p.drawText(QRectF(box.left(), box.bottom() - box.height() * 0.24, box.width(), box.height() * 0.2),
               Qt::AlignCenter, QStringLiteral("QUORVEX"));
}

bool draw(int width, int height, const char* file)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLogo(p, QRectF(0, 0, width, height));
    p.end();
    return image.save(QString::fromLocal8Bit(file), "PNG");
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawlogo LOGO.png\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (!draw(127, 139, argv[1])) {
        std::fprintf(stderr, "drawlogo: could not write the logo\n");
        return 1;
    }
    return 0;
}
