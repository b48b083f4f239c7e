#include "dsp_ui/dsp_chain_model.h"

#include <QColor>

namespace {

// The grey of a stage that cannot run.
const QColor DisabledTextColor(128, 128, 128);

} // namespace

TDSPChainModel::TDSPChainModel(QObject* AParent) : QAbstractListModel(AParent) {}

void TDSPChainModel::SetRows(QList<TRow> ARows)
{
  if (ARows.size() == FRows.size()) {
    FRows = std::move(ARows);
    if (!FRows.isEmpty())
      Q_EMIT dataChanged(index(0), index(static_cast<int>(FRows.size()) - 1));
    return;
  }
  beginResetModel();
  FRows = std::move(ARows);
  endResetModel();
}

int TDSPChainModel::rowCount(const QModelIndex& AParent) const
{
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TDSPChainModel::data(const QModelIndex& AIndex, int ARole) const
{
  if (!AIndex.isValid() || AIndex.row() >= FRows.size())
    return {};
  const TRow& Row = FRows.at(AIndex.row());
  switch (ARole) {
  case Qt::DisplayRole:
    return Row.Name;
  case Qt::CheckStateRole:
    return Row.Checked ? Qt::Checked : Qt::Unchecked;
  case Qt::ForegroundRole:
    if (FRowDisabled && FRowDisabled(AIndex.row()))
      return DisabledTextColor;
    return {};
  case Qt::ToolTipRole:
  case Qt::AccessibleDescriptionRole:
    // Grey alone tells nothing to a screen reader, nor why the box will not stay ticked.
    if (FRowDisabled && FRowDisabled(AIndex.row()))
      return QStringLiteral("Plugins of this type are turned off");
    return {};
  default:
    return {};
  }
}

bool TDSPChainModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole)
{
  if (ARole != Qt::CheckStateRole || !AIndex.isValid() || AIndex.row() >= FRows.size())
    return false;
  const int Row = AIndex.row();
  const bool Checked = AValue.toInt() == Qt::Checked;
  if (FRows[Row].Checked == Checked)
    return true;
  FRows[Row].Checked = Checked;
  Q_EMIT dataChanged(AIndex, AIndex, {Qt::CheckStateRole});
  // Last: the handler usually rebuilds the rows, after which AIndex means nothing.
  if (FOnRowChecked)
    FOnRowChecked(Row, Checked);
  return true;
}

Qt::ItemFlags TDSPChainModel::flags(const QModelIndex& AIndex) const
{
  if (!AIndex.isValid())
    return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
         Qt::ItemNeverHasChildren;
}
