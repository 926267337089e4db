#pragma once

#include <QAbstractItemModel>
#include <memory>
#include <vector>

#include "Source/Desktop/CombinationCostFormatter.h"
#include "Source/Desktop/CombinationWrapper.h"

namespace Corvalle::Desktop {

// The outline of the results: the combinations at the top level, each with its stores, each
// store with its plan lines. Combination and store rows are group rows whose text lives in
// column 0 (the view spans it over the row); plan lines are leaves with one column per
// LotDataWrapper property. Only column 0 of a group row has children. Main thread only.
class CombinationOutlineModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Column {
    QuantityColumn = 0,
    PriceColumn,
    ConditionColumn,
    PartNumberColumn,
    ColorColumn,
    PartColumn,
    ColumnCount
  };
  enum class RowKind { Combination, Store, Lot };

  explicit CombinationOutlineModel(QObject* parent = nullptr);
  ~CombinationOutlineModel() override;

  // Replaces the whole outline (a model reset).
  void setCombinations(Combinations combinations);
  const Combinations& combinations() const { return combinationList; }

  // The identifier of a lot column: the name of the LotDataWrapper property it shows.
  static QString columnIdentifier(int column);

  // What a valid index stands for; the wrapper accessors return null for another kind.
  RowKind kindOf(const QModelIndex& index) const;
  const CombinationWrapper* combinationAt(const QModelIndex& index) const;
  const StoreWrapper* storeAt(const QModelIndex& index) const;
  const LotDataWrapper* lotAt(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // One row; the model owns the tree, each node its children.
  struct Node {
    RowKind kind;
    int row;
    Node* parent;
    const void* wrapper;  // CombinationWrapper, StoreWrapper or LotDataWrapper by kind
    std::vector<std::unique_ptr<Node>> children;
  };

  const Node* nodeAt(const QModelIndex& index) const;
  const std::vector<std::unique_ptr<Node>>& childrenOf(const QModelIndex& parent) const;

  Combinations combinationList;
  CombinationCostFormatter formatter;
  std::vector<std::unique_ptr<Node>> roots;
};

}  // namespace Corvalle::Desktop
