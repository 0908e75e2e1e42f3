// Draws the program's logo, logo.png: a sensor chip with three axis arrows
// and a rotation arc, the picture shown in the About box. Drawn at other
// sizes it gives the menu icons, sharp at each.
//   make-logo <output.png> [size in pixels, default 128]
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <cstdlib>

static void arrow(QPainter &p, QPointF from, QPointF to, const QColor &colour)
{
    p.setPen(QPen(colour, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double spread = 0.45, length = 20;
    QPainterPath head;
    head.moveTo(to + QPointF(std::cos(angle) * 6, std::sin(angle) * 6));
    head.lineTo(to - QPointF(std::cos(angle - spread) * length, std::sin(angle - spread) * length));
    head.lineTo(to - QPointF(std::cos(angle + spread) * length, std::sin(angle + spread) * length));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-logo <output.png> [size]\n");
        return 2;
    }
    // The drawing below is laid out on a 128-pixel square.
    constexpr int designSize = 128;
    int size = designSize;
    if (argc == 3) {
        char *end = nullptr;
        const long value = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || value < 16 || value > 1024) {
            std::fprintf(stderr, "make-logo: the size must be 16 to 1024 pixels, not \"%s\"\n", argv[2]);
            return 2;
        }
        size = static_cast<int>(value);
    }

    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / designSize, double(size) / designSize);

    // Background disc in the plots' paper colour.
    p.setPen(QPen(QColor(60, 60, 80), 3));
    p.setBrush(QColor(240, 235, 226));
    p.drawEllipse(QRectF(4, 4, 120, 120));

    // The sensor package with its pins.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 90));
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(46 + i * 10, 40, 4, 50));
        p.drawRect(QRectF(40, 46 + i * 10, 50, 4));
    }
    p.setBrush(QColor(40, 40, 55));
    p.drawRoundedRect(QRectF(46, 46, 38, 38), 4, 4);
    p.setBrush(QColor(200, 200, 210));
    p.drawEllipse(QRectF(50, 50, 6, 6));

    // X blue, Y green, Z red, as on the plots.
    const QPointF origin(65, 65);
    arrow(p, origin, QPointF(110, 65), QColor(0, 0, 255));
    arrow(p, origin, QPointF(65, 18), QColor(0, 170, 0));
    arrow(p, origin, QPointF(30, 100), QColor(255, 0, 0));

    // The gyroscope's turn about the vertical axis.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 80), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(45, 22, 40, 16), 200 * 16, 300 * 16);
    p.end();

    if (!image.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "make-logo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
