// The rows of the chain editor's check list: one per stage, in chain order, with the stage's
// name and its on/off mark. The rows are a snapshot that the editor rebuilds from the chain
// after every change; a row's colour is asked of the editor live, so switching a plug-in family
// on or off shows at the next repaint.
#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QString>
#include <functional>

class TDSPChainModel : public QAbstractListModel
{
  Q_OBJECT

public:
  struct TRow
  {
    QString Name;
    bool Checked = false;
  };
  // Whether a row stands for a plug-in whose family is switched off (drawn grey).
  using TRowDisabledQuery = std::function<bool(int ARow)>;
  // The user changed a row's check mark; the handler may rebuild the rows.
  using TRowCheckedEvent = std::function<void(int ARow, bool AChecked)>;

  explicit TDSPChainModel(QObject* AParent = nullptr);

  // Replaces every row. With the same number of rows they are updated in place, so that the view
  // keeps its selection and current row through a tick; otherwise the model is reset (the view
  // loses both).
  void SetRows(QList<TRow> ARows);
  const QList<TRow>& Rows() const { return FRows; }

  void SetRowDisabledQuery(TRowDisabledQuery AQuery) { FRowDisabled = std::move(AQuery); }
  void SetOnRowChecked(TRowCheckedEvent AHandler) { FOnRowChecked = std::move(AHandler); }

  int rowCount(const QModelIndex& AParent = QModelIndex()) const override;
  QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) override;
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override;

private:
  QList<TRow> FRows;
  TRowDisabledQuery FRowDisabled;
  TRowCheckedEvent FOnRowChecked;
};
