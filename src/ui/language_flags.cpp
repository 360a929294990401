#include "ui/language_flags.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QString>
#include <cmath>
#include <initializer_list>

namespace dravelo {

namespace {

// Flags are drawn on a 3:2 field (the menu's icon size is 16 x 11; the rounding is the eye's).
void stripes(QPainter& p, const QRectF& r, bool horizontal, std::initializer_list<std::pair<QColor, double>> bands) {
  double total = 0;
  for (const auto& b : bands) total += b.second;
  double at = 0;
  for (const auto& [colour, share] : bands) {
    const double from = at / total;
    at += share;
    const double to = at / total;
    if (horizontal)
      p.fillRect(QRectF(r.left(), r.top() + from * r.height(), r.width(), (to - from) * r.height()), colour);
    else
      p.fillRect(QRectF(r.left() + from * r.width(), r.top(), (to - from) * r.width(), r.height()), colour);
  }
}

QPolygonF star(QPointF centre, double outer, double inner, double rotation) {
  QPolygonF poly;
  for (int i = 0; i < 10; ++i) {
    const double radius = i % 2 == 0 ? outer : inner;
    const double angle = rotation + i * M_PI / 5;
    poly << QPointF(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
  }
  return poly;
}

void drawUnionFlag(QPainter& p, const QRectF& r) {
  const QColor blue(0x01, 0x21, 0x69), red(0xC8, 0x10, 0x2E);
  p.fillRect(r, blue);
  p.save();
  p.setClipRect(r);
  const double h = r.height();
  p.setPen(QPen(Qt::white, h * 0.2));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.bottomLeft(), r.topRight());
  p.setPen(QPen(red, h * 0.07));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.bottomLeft(), r.topRight());
  p.setPen(Qt::NoPen);
  const QPointF c = r.center();
  p.fillRect(QRectF(r.left(), c.y() - h / 6, r.width(), h / 3), Qt::white);
  p.fillRect(QRectF(c.x() - h / 6, r.top(), h / 3, h), Qt::white);
  p.fillRect(QRectF(r.left(), c.y() - h / 10, r.width(), h / 5), red);
  p.fillRect(QRectF(c.x() - h / 10, r.top(), h / 5, h), red);
  p.restore();
}

void drawGreekFlag(QPainter& p, const QRectF& r) {
  const QColor blue(0x0D, 0x5E, 0xAF);
  const double band = r.height() / 9;
  for (int i = 0; i < 9; ++i)
    p.fillRect(QRectF(r.left(), r.top() + i * band, r.width(), band), i % 2 == 0 ? blue : QColor(Qt::white));
  const QRectF canton(r.left(), r.top(), band * 5, band * 5);
  p.fillRect(canton, blue);
  p.fillRect(QRectF(canton.left(), canton.top() + band * 2, canton.width(), band), Qt::white);
  p.fillRect(QRectF(canton.left() + band * 2, canton.top(), band, canton.height()), Qt::white);
}

void drawTurkishFlag(QPainter& p, const QRectF& r) {
  const QColor red(0xE3, 0x0A, 0x17);
  p.fillRect(r, red);
  const double h = r.height();
  const QPointF c(r.left() + h * 0.5, r.center().y());
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(c, h * 0.25, h * 0.25);
  p.setBrush(red);
  p.drawEllipse(QPointF(c.x() + h * 0.0625, c.y()), h * 0.2, h * 0.2);
  p.setBrush(Qt::white);
  p.drawPolygon(star(QPointF(c.x() + h * 0.333, c.y()), h * 0.125, h * 0.05, M_PI));
}

void drawFlag(QPainter& p, const QRectF& r, std::string_view code) {
  const QColor white(Qt::white);
  if (code == "en") {
    drawUnionFlag(p, r);
  } else if (code == "ja") {
    p.fillRect(r, white);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xBC, 0x00, 0x2D));
    p.drawEllipse(r.center(), r.height() * 0.3, r.height() * 0.3);
  } else if (code == "nl") {
    stripes(p, r, true, {{QColor(0xAE, 0x1C, 0x28), 1}, {white, 1}, {QColor(0x21, 0x46, 0x8B), 1}});
  } else if (code == "fr") {
    stripes(p, r, false, {{QColor(0x00, 0x55, 0xA4), 1}, {white, 1}, {QColor(0xEF, 0x41, 0x35), 1}});
  } else if (code == "el") {
    drawGreekFlag(p, r);
  } else if (code == "ru") {
    stripes(p, r, true, {{white, 1}, {QColor(0x00, 0x39, 0xA6), 1}, {QColor(0xD5, 0x2B, 0x1E), 1}});
  } else if (code == "id") {
    stripes(p, r, true, {{QColor(0xCE, 0x11, 0x26), 1}, {white, 1}});
  } else if (code == "it") {
    stripes(p, r, false, {{QColor(0x00, 0x92, 0x46), 1}, {white, 1}, {QColor(0xCE, 0x2B, 0x37), 1}});
  } else if (code == "es") {
    stripes(p, r, true, {{QColor(0xAA, 0x15, 0x1B), 1}, {QColor(0xF1, 0xBF, 0x00), 2}, {QColor(0xAA, 0x15, 0x1B), 1}});
  } else if (code == "tr") {
    drawTurkishFlag(p, r);
  } else if (code == "de") {
    stripes(p, r, true, {{Qt::black, 1}, {QColor(0xDD, 0x00, 0x00), 1}, {QColor(0xFF, 0xCE, 0x00), 1}});
  } else if (code == "ca") {
    const QColor yellow(0xFC, 0xDD, 0x09), red(0xDA, 0x12, 0x1A);
    stripes(p, r, true, {{yellow, 1}, {red, 1}, {yellow, 1}, {red, 1}, {yellow, 1}, {red, 1}, {yellow, 1}, {red, 1},
                         {yellow, 1}});
  } else if (code == "pl") {
    stripes(p, r, true, {{white, 1}, {QColor(0xDC, 0x14, 0x3C), 1}});
  } else {
    p.fillRect(r, QColor(0xF0, 0xF0, 0xF0));
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(r.height() * 0.8));
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, QString::fromUtf8(code.data(), static_cast<qsizetype>(code.size())).toUpper());
  }
}

QPixmap drawFlagPixmap(std::string_view code, int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF field(0.5, 0.5, width - 1.0, height - 1.0);
  drawFlag(p, field, code);
  // A thin frame keeps white fields (Japan, Poland) apart from a white menu.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0, 0, 0, 90), 1));
  p.drawRect(field);
  return pixmap;
}

}  // namespace

QIcon languageFlag(std::string_view code) {
  static QHash<QString, QIcon> drawn;
  const QString key = QString::fromUtf8(code.data(), static_cast<qsizetype>(code.size()));
  auto it = drawn.find(key);
  if (it != drawn.end()) return *it;
  QIcon icon;
  icon.addPixmap(drawFlagPixmap(code, 16, 11));
  icon.addPixmap(drawFlagPixmap(code, 32, 22));
  icon.addPixmap(drawFlagPixmap(code, 48, 33));
  drawn.insert(key, icon);
  return icon;
}

}  // namespace dravelo
