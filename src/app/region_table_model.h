// The grid's data: the rows of the last list load, with their red cells. The view's horizontal
// header is the grid's header row, so grid row r (data rows count from 1) is model row r - 1.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <vector>

#include "regions/region_file.h"

namespace quillmap {

inline constexpr int kGridColumns = 7;

class RegionTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RegionTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Replaces every row in one reset, so the view redraws once however many rows there are.
  void SetRows(std::vector<RegionRow> rows);
  const RegionRow& Row(int model_row) const { return rows_[model_row]; }

 private:
  std::vector<RegionRow> rows_;
};

// Selected rows are drawn in the highlight's text colour, which would hide the red cells of the
// very row the user is about to open; this keeps them red, lightened to stand out on the
// highlight.
class RedCellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace quillmap
