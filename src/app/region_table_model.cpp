#include "app/region_table_model.h"

#include <QBrush>
#include <QColor>
#include <utility>

namespace quillmap {
namespace {

constexpr const char* kColumnTitles[kGridColumns] = {
    "Custom", "Name", "X Pos (mm)", "Y Pos (mm)", "Width (mm)", "Height (mm)", "SectionName"};

}  // namespace

RegionTableModel::RegionTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int RegionTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RegionTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kGridColumns;
}

QVariant RegionTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kGridColumns) {
    return QVariant();
  }
  const RegionRow& row = rows_[index.row()];
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(row.cells[index.column()]);
    case Qt::ForegroundRole:
      if (row.red[index.column()]) return QBrush(QColor(255, 0, 0));
      return QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
    default:
      return QVariant();
  }
}

QVariant RegionTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kGridColumns) {
    return QVariant();
  }
  if (role == Qt::DisplayRole) return QString::fromLatin1(kColumnTitles[section]);
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignTop));
  }
  return QVariant();
}

void RegionTableModel::SetRows(std::vector<RegionRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

void RedCellDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (index.data(Qt::ForegroundRole).canConvert<QBrush>()) {
    option->palette.setColor(QPalette::HighlightedText, QColor(255, 170, 170));
  }
}

}  // namespace quillmap
