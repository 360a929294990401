// The result list's model: a table over visible_files that reads every cell from the catalogue
// when the view asks, and keeps nothing but the row count.
//
// Wiring for the window (AdvListView, a QTreeView or QTableView):
//   - setModel(&model); after every dravelo::set_folder_filter / refresh_folder_filter call
//     model.refresh() (it takes the row count from visible_files);
//   - tick clicks: a click on the check box of column 0 reaches setData(CheckStateRole), which
//     applies the tick rules with the Shift state of the moment (tick_click); a window that
//     handles clicks itself calls tickClick(row, shift) for column 0 and x < kTickZoneWidth;
//   - popup entries: selectAll(), unselectAll(), reverseSelection();
//   - header press: if (model.pressHeader(column)) header->setSortIndicator(model.sortColumn(),
//     model.sortOrder()) with setSortIndicatorShown(true); do not enable the view's own sorting;
//   - after a language switch: retranslate(); after the undelete cleared ticks: ticksChanged().
#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include <cstdint>
#include <utility>
#include <vector>

namespace dravelo {

// A cell's text colour on a selected row (the plain row's is Qt::ForegroundRole).
constexpr int kSelectedForegroundRole = Qt::UserRole + 20;

class ResultListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Qt::CheckStateRole on column 0: a tick click with the current Shift state.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // The backgrounds of a plain and of a selected row: every text colour is made readable on
  // them, keeping its hue (a status keeps its colour).
  void setBackgrounds(const QColor& row, const QColor& selected);

  // Takes the row count of visible_files after the view was rebuilt.
  void refresh();
  // Captions of the current language.
  void retranslate();
  // Every row's check box again (after ticks changed outside the model).
  void ticksChanged();

  // A click on the check box of row; repaints the rows whose ticks changed.
  void tickClick(int row, bool shift);
  // Space on a selection of rows: ticks them all, or unticks them all when all were ticked.
  void tickRows(const std::vector<int>& rows);
  void selectAll();
  void unselectAll();
  void reverseSelection();

  // A header press: sorts the catalogue by column (a second press on the same header turns the
  // order round) and shows the same view in the new order. False when nothing was done (no rows,
  // or the filler column).
  bool pressHeader(int column);
  // The column of the last sort, -1 for none; its order for the header's indicator.
  int sortColumn() const;
  Qt::SortOrder sortOrder() const;

 private:
  void checkBoxesChanged(int first, int last);
  // A cell colour made readable on a background: worked out once per pair, as a list shows only
  // a few colours on two backgrounds while the view asks for every cell at every paint.
  QColor readable(QRgb colour, const QColor& background) const;

  int rows_ = 0;
  QColor rowBackground_{Qt::white};
  QColor selectedBackground_{Qt::white};
  mutable std::vector<std::pair<std::pair<QRgb, QRgb>, QColor>> readable_;
};

}  // namespace dravelo
