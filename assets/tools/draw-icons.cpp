// Draws the pictures that Tessaro Lite ships: the application icon "AAA" in its eight
// sizes, the two pictures of the blinking Start/Stop button, the four picture buttons, and
// the about dialog's product picture and the pointer of its links.
// The results are committed under assets/; run assets/tools/draw-icons.sh after a change.
#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace
{

const QColor Teal(0x1f, 0x7a, 0x8c);
const QColor DeepTeal(0x12, 0x4e, 0x5a);
const QColor Paper(0xfb, 0xfb, 0xf7);
const QColor PaperEdge(0x6b, 0x72, 0x78);
const QColor Amber(0xf2, 0xa5, 0x22);

QImage blankImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// One sheet of paper with a folded corner, in a 100 x 100 design square.
void drawSheet(QPainter &p, const QRectF &r)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    p.setPen(QPen(PaperEdge, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Paper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(0xd9, 0xdd, 0xe0));
    p.drawPath(corner);
}

// The application icon: two sheets on a rounded tile, an arrow carrying one onto the other.
QImage drawApplicationIcon(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);

    QLinearGradient tile(0, 0, 0, 100);
    tile.setColorAt(0, Teal.lighter(115));
    tile.setColorAt(1, DeepTeal);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(4, 4, 92, 92), 18, 18);

    drawSheet(p, QRectF(16, 14, 38, 50));
    drawSheet(p, QRectF(46, 36, 38, 50));

    QPainterPath arrow;
    arrow.moveTo(30, 72);
    arrow.cubicTo(30, 82, 38, 86, 50, 86);
    p.setPen(QPen(Amber, 7.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    const QPolygonF head({QPointF(48, 77), QPointF(60, 86), QPointF(48, 95)});
    p.setPen(Qt::NoPen);
    p.setBrush(Amber);
    p.drawPolygon(head);
    return image;
}

// The Start/Stop button's lamp, lit or dark.
QImage drawBlinker(int size, bool lit)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QRadialGradient glow(QPointF(13, 12), 14);
    if (lit) {
        glow.setColorAt(0, QColor(0xd8, 0xff, 0xc8));
        glow.setColorAt(0.45, QColor(0x4c, 0xd1, 0x37));
        glow.setColorAt(1, QColor(0x1f, 0x7a, 0x1a));
    } else {
        glow.setColorAt(0, QColor(0x9a, 0xa8, 0x96));
        glow.setColorAt(0.5, QColor(0x55, 0x63, 0x52));
        glow.setColorAt(1, QColor(0x2e, 0x36, 0x2c));
    }
    p.setPen(QPen(QColor(0x20, 0x24, 0x20), 1.5));
    p.setBrush(glow);
    p.drawEllipse(QRectF(4, 4, 24, 24));
    return image;
}

QImage drawInfo(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2a, 0x6f, 0xd6));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(13.5, 7, 5, 5));
    p.drawRoundedRect(QRectF(13.5, 14, 5, 12), 1.5, 1.5);
    return image;
}

QImage drawHelp(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x9c, 0x5a));
    p.drawEllipse(QRectF(2, 2, 28, 28));
    QPainterPath hook;
    hook.moveTo(11, 12.5);
    hook.cubicTo(11, 6, 21, 6, 21, 12);
    hook.cubicTo(21, 16, 16, 16, 16, 20);
    p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(13.8, 22.5, 4.4, 4.4));
    return image;
}

// Three sliders: the options.
QImage drawOptions(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const qreal rows[] = {8, 16, 24};
    const qreal knobs[] = {20, 10, 17};
    for (int i = 0; i < 3; ++i) {
        p.setPen(QPen(QColor(0x4a, 0x52, 0x5a), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, rows[i]), QPointF(28, rows[i]));
        p.setPen(QPen(QColor(0x20, 0x24, 0x28), 1.4));
        p.setBrush(Amber);
        p.drawEllipse(QPointF(knobs[i], rows[i]), 3.8, 3.8);
    }
    return image;
}

// A door left open with an arrow leaving through it: quit.
QImage drawQuit(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x22), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(0xc8, 0x8a, 0x50));
    p.drawRect(QRectF(4, 3, 15, 26));
    p.setBrush(QColor(0x8a, 0x55, 0x2c));
    p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(12, 7), QPointF(12, 31), QPointF(4, 29)}));
    p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(15, 16), QPointF(28, 16));
    p.drawPolyline(QPolygonF({QPointF(23, 11), QPointF(28, 16), QPointF(23, 21)}));
    return image;
}

// The about dialog's product picture: the application icon beside the product name, on the
// icon's teal, 116 x 63 pixels with 24 bits per pixel.
QImage drawAboutPicture()
{
    QImage image(116, 63, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient band(0, 0, 116, 63);
    band.setColorAt(0, Teal.lighter(125));
    band.setColorAt(1, DeepTeal);
    p.fillRect(image.rect(), band);
    p.drawImage(QPoint(5, 9), drawApplicationIcon(44));
    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(13);
    name.setBold(true);
    p.setFont(name);
    p.setPen(Paper);
    p.drawText(QRect(53, 10, 62, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tessaro"));
    p.setPen(Amber);
    p.drawText(QRect(53, 30, 62, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Lite"));
    return image;
}

// A pointing hand, 32 x 32, its fingertip at (12, 1): the pointer over the dialog's links.
QImage drawLinkPointer()
{
    QImage image = blankImage(32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    hand.addRoundedRect(QRectF(9.5, 1, 5.5, 17), 2.75, 2.75);
    hand.addRoundedRect(QRectF(14, 10, 4.5, 9), 2.2, 2.2);
    hand.addRoundedRect(QRectF(17.5, 11, 4.5, 9), 2.2, 2.2);
    hand.addRoundedRect(QRectF(21, 12, 4.5, 9), 2.2, 2.2);
    hand.addRoundedRect(QRectF(9.5, 14, 16, 13), 4, 4);
    QPainterPath thumb;
    thumb.moveTo(10.5, 24);
    thumb.lineTo(4.5, 17.5);
    thumb.cubicTo(3, 15.5, 5.5, 13, 7.5, 14.5);
    thumb.lineTo(11, 18);
    thumb.closeSubpath();
    hand = hand.united(thumb).simplified();
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(hand);
    p.setPen(QPen(Qt::black, 1.0));
    for (qreal x : {14.5, 18.0, 21.5})
        p.drawLine(QPointF(x, 15), QPointF(x, 18));
    p.setBrush(QColor(0x4a, 0x52, 0x5a));
    p.drawRect(QRectF(11, 27, 13, 4));
    return image;
}

bool save(const QImage &image, const QString &path, const char *format)
{
    QImageWriter writer(path, format);
    if (writer.write(image))
        return true;
    std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ASSETS_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir assets(QString::fromLocal8Bit(argv[1]));
    if (!assets.mkpath("bin") || !assets.mkpath("icons"))
        return 1;

    bool ok = true;
    for (int size : {128, 96, 72, 64, 48, 32, 24, 16})
        ok &= save(drawApplicationIcon(size), assets.filePath(QString("icons/AAA-%1.png").arg(size)), "png");
    ok &= save(drawBlinker(32, true), assets.filePath("bin/scheduler-blinker-on.ico"), "ico");
    ok &= save(drawBlinker(32, false), assets.filePath("bin/scheduler-blinker-off.ico"), "ico");
    ok &= save(drawInfo(32), assets.filePath("icons/info.png"), "png");
    ok &= save(drawHelp(32), assets.filePath("icons/help.png"), "png");
    ok &= save(drawOptions(32), assets.filePath("icons/options.png"), "png");
    ok &= save(drawQuit(32), assets.filePath("icons/quit.png"), "png");
    ok &= save(drawAboutPicture(), assets.filePath("icons/about.bmp"), "bmp");
    ok &= save(drawLinkPointer(), assets.filePath("icons/link-pointer.png"), "png");
    return ok ? 0 : 1;
}
