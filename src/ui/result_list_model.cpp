#include "ui/result_list_model.h"

#include <QBrush>
#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QString>

#include <algorithm>

#include "catalogue/catalogue.h"
#include "catalogue/contrast.h"
#include "catalogue/ordering.h"
#include "catalogue/presentation.h"

namespace dravelo {

namespace {

Rgb rgb(const QColor& c) {
  return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()), static_cast<std::uint8_t>(c.blue())};
}

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {
  rows_ = static_cast<int>(visible_files.size());
}

int ResultListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kResultColumns; }

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const FileInfo* e = row_entry(index.row());
  if (!e) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return column < kResultTextColumns ? QVariant(fromUtf8(cell_text(*e, column))) : QVariant();
    case Qt::CheckStateRole:
      return column == 0 ? QVariant(e->selected ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::ForegroundRole:
      return QBrush(readable(qcolor(cell_colour(*e, column)).rgb(), rowBackground_));
    case kSelectedForegroundRole:
      return readable(qcolor(cell_colour(*e, column)).rgb(), selectedBackground_);
    case Qt::ToolTipRole:
      return column < kResultTextColumns ? QVariant(fromUtf8(hover_hint(index.row(), column))) : QVariant();
    default:
      return {};
  }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  return fromUtf8(column_caption(section));
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  (void)value;  // the tick rules decide the new state, not the view
  if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 || index.row() >= rows_) return false;
  tickClick(index.row(), QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
  return true;
}

QColor ResultListModel::readable(QRgb colour, const QColor& background) const {
  const std::pair<QRgb, QRgb> key{colour, background.rgb()};
  for (const auto& [known, result] : readable_)
    if (known == key) return result;
  const QColor result = qcolor(readable_colour(rgb(QColor(colour)), rgb(background)));
  readable_.push_back({key, result});
  return result;
}

void ResultListModel::setBackgrounds(const QColor& row, const QColor& selected) {
  rowBackground_ = row;
  selectedBackground_ = selected;
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kResultColumns - 1), {Qt::ForegroundRole});
}

void ResultListModel::refresh() {
  beginResetModel();
  rows_ = static_cast<int>(visible_files.size());
  endResetModel();
}

void ResultListModel::retranslate() { emit headerDataChanged(Qt::Horizontal, 0, kResultColumns - 1); }

void ResultListModel::checkBoxesChanged(int first, int last) {
  if (rows_ == 0 || first > last) return;
  emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
}

void ResultListModel::ticksChanged() { checkBoxesChanged(0, rows_ - 1); }

void ResultListModel::tickClick(int row, bool shift) {
  if (row < 0 || row >= rows_) return;
  const RowRange changed = tick_click(row, shift);
  checkBoxesChanged(changed.first, changed.last);
}

void ResultListModel::tickRows(const std::vector<int>& rows) {
  bool allTicked = true;
  int first = rows_, last = -1;
  for (int row : rows) {
    const FileInfo* e = row < rows_ ? row_entry(row) : nullptr;
    if (!e) continue;
    allTicked = allTicked && e->selected;
    first = std::min(first, row);
    last = std::max(last, row);
  }
  if (last < 0) return;
  for (int row : rows)
    if (FileInfo* e = row < rows_ ? row_entry(row) : nullptr) e->selected = allTicked ? 0 : 1;
  checkBoxesChanged(first, last);
}

void ResultListModel::selectAll() {
  select_all_visible();
  ticksChanged();
}

void ResultListModel::unselectAll() {
  unselect_all_visible();
  ticksChanged();
}

void ResultListModel::reverseSelection() {
  reverse_visible_selection();
  ticksChanged();
}

bool ResultListModel::pressHeader(int column) {
  if (rows_ == 0 || visible_files.empty() || column < 0 || column >= kResultTextColumns) return false;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  beginResetModel();
  sort_by_column(column);
  rows_ = static_cast<int>(visible_files.size());
  endResetModel();
  QGuiApplication::restoreOverrideCursor();
  return true;
}

int ResultListModel::sortColumn() const { return last_sort_key > 0 ? last_sort_key - 1 : -1; }

Qt::SortOrder ResultListModel::sortOrder() const {
  return sort_ascending(last_sort_key) ? Qt::AscendingOrder : Qt::DescendingOrder;
}

}  // namespace dravelo
