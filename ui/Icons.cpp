#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ui/Resources.h"

namespace tavi {
namespace {

const QColor kInk(40, 48, 64);
const QColor kPaper(252, 252, 246);
const QColor kLines(120, 140, 190);
const QColor kRed(214, 48, 40);
const QColor kGreen(40, 160, 70);
const QColor kBlue(40, 96, 190);

// A sheet of paper with a folded corner and lines of writing, in the rectangle.
void DrawSheet(QPainter& p, const QRectF& r, int lines) {
    qreal fold = r.width() * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.left(), r.top());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.right(), r.bottom());
    sheet.lineTo(r.left(), r.bottom());
    sheet.closeSubpath();
    qreal pen = std::max<qreal>(1.0, r.width() / 14);
    p.setPen(QPen(kInk, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(QColor(220, 220, 210));
    p.drawPath(corner);
    p.setPen(QPen(kLines, pen, Qt::SolidLine, Qt::FlatCap));
    qreal margin = r.width() * 0.18;
    qreal step = (r.height() - 2 * margin - fold * 0.5) / std::max(1, lines);
    for (int i = 0; i < lines; ++i) {
        qreal y = r.top() + fold + margin * 0.5 + step * (i + 0.5);
        qreal right = r.right() - margin - (i == lines - 1 ? r.width() * 0.25 : 0);
        p.drawLine(QPointF(r.left() + margin, y), QPointF(right, y));
    }
}

void DrawCheck(QPainter& p, const QRectF& r, const QColor& color) {
    QPainterPath check;
    check.moveTo(r.left(), r.top() + r.height() * 0.55);
    check.lineTo(r.left() + r.width() * 0.38, r.bottom());
    check.lineTo(r.right(), r.top());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(color, std::max<qreal>(1.5, r.width() / 5), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(check);
}

void DrawPlus(QPainter& p, const QRectF& r) {
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    qreal t = r.width() * 0.34;
    p.drawRect(QRectF(r.center().x() - t / 2, r.top(), t, r.height()));
    p.drawRect(QRectF(r.left(), r.center().y() - t / 2, r.width(), t));
}

void DrawPlay(QPainter& p, const QRectF& r) {
    QPainterPath play;
    play.moveTo(r.left(), r.top());
    play.lineTo(r.right(), r.center().y());
    play.lineTo(r.left(), r.bottom());
    play.closeSubpath();
    p.setPen(QPen(kGreen.darker(140), 1));
    p.setBrush(kGreen);
    p.drawPath(play);
}

void DrawStop(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kRed.darker(140), 1));
    p.setBrush(kRed);
    p.drawRoundedRect(r, 1.5, 1.5);
}

void DrawSliders(QPainter& p, const QRectF& r) {
    for (int i = 0; i < 3; ++i) {
        qreal y = r.top() + r.height() * (0.2 + 0.3 * i);
        p.setPen(QPen(kInk, 1.2));
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        qreal x = r.left() + r.width() * (i == 1 ? 0.7 : i == 0 ? 0.3 : 0.5);
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawRect(QRectF(x - 2, y - 2.5, 4, 5));
    }
}

void DrawDisk(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.setBrush(kPaper);
    p.drawRect(QRectF(r.left() + r.width() * 0.2, r.top(), r.width() * 0.6, r.height() * 0.38));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(
        QRectF(r.left() + r.width() * 0.22, r.bottom() - r.height() * 0.42, r.width() * 0.56, r.height() * 0.42));
}

void DrawTable(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.setPen(QPen(kLines, 1));
    for (int i = 1; i < 3; ++i)
        p.drawLine(QPointF(r.left() + r.width() * i / 3, r.top()), QPointF(r.left() + r.width() * i / 3, r.bottom()));
    for (int i = 1; i < 4; ++i)
        p.drawLine(QPointF(r.left(), r.top() + r.height() * i / 4), QPointF(r.right(), r.top() + r.height() * i / 4));
}

void DrawInfo(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kBlue.darker(140), 1));
    p.setBrush(kBlue);
    p.drawEllipse(r);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    qreal w = r.width() * 0.16;
    p.drawEllipse(QPointF(r.center().x(), r.top() + r.height() * 0.27), w * 0.65, w * 0.65);
    p.drawRect(QRectF(r.center().x() - w / 2, r.top() + r.height() * 0.42, w, r.height() * 0.38));
}

// Draws one toolbar image into the 36 x 19 box of the painter.
void DrawToolBarImage(QPainter& p, int command) {
    switch (command) {
        case cmd::kQuestionSettings:
            DrawSheet(p, QRectF(5.5, 1.5, 12, 16), 3);
            DrawSliders(p, QRectF(20, 2, 12, 15));
            break;
        case cmd::kAddAnswers:
            DrawSheet(p, QRectF(6.5, 1.5, 11, 15), 3);
            DrawSheet(p, QRectF(9.5, 3.5, 11, 14), 3);
            DrawPlus(p, QRectF(22, 5, 10, 10));
            break;
        case cmd::kScoreStart:
            DrawSheet(p, QRectF(5.5, 1.5, 12, 16), 3);
            DrawPlay(p, QRectF(21, 3, 11, 13));
            break;
        case cmd::kScoreStop:
            DrawSheet(p, QRectF(5.5, 1.5, 12, 16), 3);
            DrawStop(p, QRectF(21.5, 4.5, 10, 10));
            break;
        case cmd::kSaveResults:
            DrawTable(p, QRectF(4.5, 3.5, 13, 12));
            DrawDisk(p, QRectF(20.5, 2.5, 13, 14));
            break;
        case cmd::kAppAbout:
            DrawInfo(p, QRectF(11.5, 1.5, 15, 15));
            break;
        default:
            break;
    }
}

bool HasToolBarImage(int command) {
    switch (command) {
        case cmd::kQuestionSettings:
        case cmd::kAddAnswers:
        case cmd::kScoreStart:
        case cmd::kScoreStop:
        case cmd::kSaveResults:
        case cmd::kAppAbout:
            return true;
        default:
            return false;
    }
}

}  // namespace

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    DrawSheet(p, QRectF(4.5, 1.5, 20, 28), 5);
    // The red mark of a scored essay: a circle with a check in it.
    p.setPen(QPen(kRed, 2.2));
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QRectF(15, 15, 15, 15));
    DrawCheck(p, QRectF(18.5, 19, 8.5, 7.5), kRed);
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return icon;
}

QIcon ToolBarIcon(int command) {
    if (!HasToolBarImage(command)) return {};
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kToolBarImageSize * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawToolBarImage(p, command);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tavi
