#include "ui/fit_text.h"

#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace dravelo {

namespace {
const char kDesignedWidth[] = "dravelo_designed_width";
}

int designedWidth(QWidget* w) {
  const QVariant v = w->property(kDesignedWidth);
  if (v.isValid()) return v.toInt();
  w->setProperty(kDesignedWidth, w->width());
  return w->width();
}

void growToText(QWidget* w, int limitRight) {
  const int designed = designedWidth(w);
  const int room = std::max(designed, limitRight - w->x());
  w->resize(std::clamp(w->sizeHint().width(), designed, room), w->height());
}

void growToTextLeftward(QWidget* w, int limitLeft) {
  const int designed = designedWidth(w);
  const int right = w->x() + w->width();
  const int room = std::max(designed, right - limitLeft);
  const int width = std::clamp(w->sizeHint().width(), designed, room);
  w->setGeometry(right - width, w->y(), width, w->height());
}

}  // namespace dravelo
