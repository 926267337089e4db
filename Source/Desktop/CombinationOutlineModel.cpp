#include "Source/Desktop/CombinationOutlineModel.h"

namespace Corvalle::Desktop {

CombinationOutlineModel::CombinationOutlineModel(QObject* parent) : QAbstractItemModel(parent) {}

CombinationOutlineModel::~CombinationOutlineModel() = default;

void CombinationOutlineModel::setCombinations(Combinations combinations) {
  beginResetModel();
  roots.clear();
  combinationList = std::move(combinations);
  for (const auto& combination : combinationList) {
    auto combinationNode = std::make_unique<Node>(
        Node{RowKind::Combination, static_cast<int>(roots.size()), nullptr, combination.get(), {}});
    for (const auto& store : combination->storeData()) {
      auto storeNode =
          std::make_unique<Node>(Node{RowKind::Store,
                                      static_cast<int>(combinationNode->children.size()),
                                      combinationNode.get(),
                                      store.get(),
                                      {}});
      for (const auto& lot : store->lotsData()) {
        storeNode->children.push_back(
            std::make_unique<Node>(Node{RowKind::Lot,
                                        static_cast<int>(storeNode->children.size()),
                                        storeNode.get(),
                                        lot.get(),
                                        {}}));
      }
      combinationNode->children.push_back(std::move(storeNode));
    }
    roots.push_back(std::move(combinationNode));
  }
  endResetModel();
}

QString CombinationOutlineModel::columnIdentifier(int column) {
  switch (column) {
    case QuantityColumn:
      return QStringLiteral("quantity");
    case PriceColumn:
      return QStringLiteral("price");
    case ConditionColumn:
      return QStringLiteral("condition");
    case PartNumberColumn:
      return QStringLiteral("partNumber");
    case ColorColumn:
      return QStringLiteral("color");
    case PartColumn:
      return QStringLiteral("part");
    default:
      return {};
  }
}

const CombinationOutlineModel::Node* CombinationOutlineModel::nodeAt(
    const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) {
    return nullptr;
  }
  return static_cast<const Node*>(index.internalPointer());
}

const std::vector<std::unique_ptr<CombinationOutlineModel::Node>>&
CombinationOutlineModel::childrenOf(const QModelIndex& parent) const {
  static const std::vector<std::unique_ptr<Node>> none;
  if (!parent.isValid()) {
    return roots;
  }
  const Node* node = nodeAt(parent);
  if (node == nullptr || parent.column() != 0) {
    return none;
  }
  return node->children;
}

CombinationOutlineModel::RowKind CombinationOutlineModel::kindOf(const QModelIndex& index) const {
  const Node* node = nodeAt(index);
  return node == nullptr ? RowKind::Combination : node->kind;
}

const CombinationWrapper* CombinationOutlineModel::combinationAt(const QModelIndex& index) const {
  const Node* node = nodeAt(index);
  return node != nullptr && node->kind == RowKind::Combination
             ? static_cast<const CombinationWrapper*>(node->wrapper)
             : nullptr;
}

const StoreWrapper* CombinationOutlineModel::storeAt(const QModelIndex& index) const {
  const Node* node = nodeAt(index);
  return node != nullptr && node->kind == RowKind::Store
             ? static_cast<const StoreWrapper*>(node->wrapper)
             : nullptr;
}

const LotDataWrapper* CombinationOutlineModel::lotAt(const QModelIndex& index) const {
  const Node* node = nodeAt(index);
  return node != nullptr && node->kind == RowKind::Lot
             ? static_cast<const LotDataWrapper*>(node->wrapper)
             : nullptr;
}

QModelIndex CombinationOutlineModel::index(int row, int column, const QModelIndex& parent) const {
  const auto& children = childrenOf(parent);
  if (row < 0 || column < 0 || column >= ColumnCount ||
      static_cast<std::size_t>(row) >= children.size()) {
    return {};
  }
  return createIndex(row, column, children[static_cast<std::size_t>(row)].get());
}

QModelIndex CombinationOutlineModel::parent(const QModelIndex& child) const {
  const Node* node = nodeAt(child);
  if (node == nullptr || node->parent == nullptr) {
    return {};
  }
  return createIndex(node->parent->row, 0, node->parent);
}

int CombinationOutlineModel::rowCount(const QModelIndex& parent) const {
  return static_cast<int>(childrenOf(parent).size());
}

int CombinationOutlineModel::columnCount(const QModelIndex&) const { return ColumnCount; }

QVariant CombinationOutlineModel::data(const QModelIndex& index, int role) const {
  const Node* node = nodeAt(index);
  if (node == nullptr) {
    return {};
  }
  if (role == Qt::TextAlignmentRole && node->kind == RowKind::Lot &&
      (index.column() == QuantityColumn || index.column() == PriceColumn)) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role == Qt::ToolTipRole && node->kind == RowKind::Store && index.column() == 0) {
    return static_cast<const StoreWrapper*>(node->wrapper)->storeUrl();
  }
  if (role != Qt::DisplayRole) {
    return {};
  }
  switch (node->kind) {
    case RowKind::Combination:
      if (index.column() != 0) {
        return {};
      }
      return formatter.stringForObjectValue(static_cast<const CombinationWrapper*>(node->wrapper));
    case RowKind::Store: {
      if (index.column() != 0) {
        return {};
      }
      const auto* store = static_cast<const StoreWrapper*>(node->wrapper);
      const QString text = store->store() + QStringLiteral(" (%1)").arg(store->country());
      return store->shipping().isEmpty()
                 ? text
                 : text + QStringLiteral(", shipping %1").arg(store->shipping());
    }
    case RowKind::Lot: {
      const auto* lot = static_cast<const LotDataWrapper*>(node->wrapper);
      switch (index.column()) {
        case QuantityColumn:
          return lot->quantity();
        case PriceColumn:
          return lot->price();
        case ConditionColumn:
          return lot->condition();
        case PartNumberColumn:
          return lot->partNumber();
        case ColorColumn:
          return lot->color();
        case PartColumn:
          return lot->part();
        default:
          return {};
      }
    }
  }
  return {};
}

QVariant CombinationOutlineModel::headerData(int section, Qt::Orientation orientation,
                                             int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  switch (section) {
    case QuantityColumn:
      return QStringLiteral("Quantity");
    case PriceColumn:
      return QStringLiteral("Price");
    case ConditionColumn:
      return QStringLiteral("Condition");
    case PartNumberColumn:
      return QStringLiteral("Item ID");
    case ColorColumn:
      return QStringLiteral("Color");
    case PartColumn:
      return QStringLiteral("Name");
    default:
      return {};
  }
}

Qt::ItemFlags CombinationOutlineModel::flags(const QModelIndex& index) const {
  const Node* node = nodeAt(index);
  if (node == nullptr) {
    return Qt::NoItemFlags;
  }
  Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (node->kind == RowKind::Lot) {
    result |= Qt::ItemNeverHasChildren;
  }
  return result;
}

}  // namespace Corvalle::Desktop
