#include "ui/Pictures.h"

#include <QLabel>
#include <QPainter>

namespace cq::ui {
namespace {

constexpr int kPictureSize = 16;

void DrawInformation(QPainter& painter, const QColor& colour) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(1, 1, 14, 14));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(7, 3.5, 2.2, 2.2));
    painter.drawRect(QRectF(7, 7, 2.2, 6));
}

void DrawFolder(QPainter& painter, const QColor& edge, const QColor& fill) {
    painter.setPen(edge);
    painter.setBrush(fill);
    painter.drawRect(QRectF(1.5, 2.5, 6, 3));
    painter.drawRect(QRectF(1.5, 4.5, 13, 9));
}

void DrawCertificate(QPainter& painter, const QColor& edge, const QColor& seal) {
    painter.setPen(edge);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(1.5, 2.5, 13, 10));
    painter.drawLine(QPointF(4, 5.5), QPointF(12, 5.5));
    painter.drawLine(QPointF(4, 7.5), QPointF(9, 7.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(seal);
    painter.drawEllipse(QRectF(9, 8.5, 5, 5));
}

} // namespace

QPixmap DrawPicture(Picture which, bool enabled) {
    QPixmap pixmap(kPictureSize, kPictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    auto colour = [enabled](QColor c) {
        return enabled ? c : QColor(160, 160, 160);
    };
    switch (which) {
    case Picture::Information:
        DrawInformation(painter, colour(QColor(0, 0, 128)));
        break;
    case Picture::Folder:
        DrawFolder(painter, colour(QColor(150, 110, 0)), colour(QColor(240, 200, 60)));
        break;
    case Picture::Certificate:
        DrawCertificate(painter, colour(QColor(60, 60, 60)), colour(QColor(200, 0, 0)));
        break;
    }
    return pixmap;
}

QLabel* MakePicture(QWidget* parent, Picture which, bool enabled) {
    auto* picture = new QLabel(parent);
    picture->setPixmap(DrawPicture(which, enabled));
    picture->setFixedSize(kPictureSize, kPictureSize);
    return picture;
}

} // namespace cq::ui
