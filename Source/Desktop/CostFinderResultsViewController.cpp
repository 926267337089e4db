#include "Source/Desktop/CostFinderResultsViewController.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "Source/Desktop/Alert.h"
#include "Source/Desktop/CombinationOutlineModel.h"
#include "Source/Desktop/HelpPage.h"
#include "Source/Base/Logging.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Desktop/StoreTableCellView.h"
#include "Source/Desktop/TipSheet.h"
#include "Source/Desktop/WantedListXmlSheet.h"

namespace Corvalle::Desktop {

namespace {

constexpr int kGroupRowHeight = 19;
constexpr int kLotRowHeight = 15;

// The wanted-list number of exported files: what the command line writes when it is given none.
constexpr std::uint32_t kExportedWantedListId = 0;

// Row heights of the outline: 19 pixels for combination and store rows, 15 for plan lines.
class OutlineRowDelegate : public QStyledItemDelegate {
 public:
  OutlineRowDelegate(const CombinationOutlineModel& model_, QObject* parent)
      : QStyledItemDelegate(parent), model(model_) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(model.kindOf(index) == CombinationOutlineModel::RowKind::Lot ? kLotRowHeight
                                                                                : kGroupRowHeight);
    return size;
  }

 private:
  const CombinationOutlineModel& model;
};

}  // namespace

CostFinderResultsViewController::CostFinderResultsViewController(Combinations combinations,
                                                                 TipTargets tipTargets,
                                                                 QWidget* parent)
    : QWidget(parent),
      model_(new CombinationOutlineModel(this)),
      outLineView_(new QTreeView(this)),
      createWantedListXmlSheet_(new WantedListXmlSheet(this)),
      tipSheet_(new TipSheet(std::move(tipTargets), this)),
      folderChooser_([](QWidget* owner, const QString& caption) {
        return QFileDialog::getExistingDirectory(owner, caption);
      }) {
  connect(createWantedListXmlSheet_, &WantedListXmlSheet::copyRequested, this,
          &CostFinderResultsViewController::copyWantedListXml);
  connect(createWantedListXmlSheet_, &WantedListXmlSheet::cancelRequested, this,
          &CostFinderResultsViewController::endCopyWantedListXmlSheet);
  setObjectName(QStringLiteral("CostFinderResultsViewController"));
  outLineView_->setObjectName(QStringLiteral("outLineView"));
  outLineView_->setModel(model_);
  outLineView_->setItemDelegate(new OutlineRowDelegate(*model_, outLineView_));
  outLineView_->setUniformRowHeights(false);
  outLineView_->setIndentation(16);
  outLineView_->setAlternatingRowColors(true);
  outLineView_->setSelectionMode(QAbstractItemView::SingleSelection);
  outLineView_->header()->setStretchLastSection(true);
  outLineView_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(outLineView_, &QTreeView::customContextMenuRequested, this,
          &CostFinderResultsViewController::showContextMenu);
  connect(outLineView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &CostFinderResultsViewController::updateExportPlanButton);

  exportPlanButton_ = new QPushButton(QStringLiteral("Export Plan..."), this);
  exportPlanButton_->setObjectName(QStringLiteral("exportPlanButton"));
  exportPlanButton_->setToolTip(
      QStringLiteral("Save the selected combination as one wanted-list file per store"));
  connect(exportPlanButton_, &QPushButton::clicked, this,
          &CostFinderResultsViewController::exportSelectedPlan);
  auto* helpButton = new QPushButton(QStringLiteral("Help"), this);
  helpButton->setObjectName(QStringLiteral("helpButton"));
  auto* tipButton = new QPushButton(QStringLiteral("Tip the Maker..."), this);
  tipButton->setObjectName(QStringLiteral("tipButton"));
  connect(helpButton, &QPushButton::clicked, this, &CostFinderResultsViewController::help);
  connect(tipButton, &QPushButton::clicked, this, &CostFinderResultsViewController::showTipSheet);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(exportPlanButton_);
  buttons->addStretch(1);
  buttons->addWidget(tipButton);
  buttons->addWidget(helpButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(outLineView_, 1);
  layout->addLayout(buttons);
  resize(760, 420);

  model_->setCombinations(std::move(combinations));
  createCellViews();
  updateExportPlanButton();
  awakeFromNib();
}

CostFinderResultsViewController::~CostFinderResultsViewController() = default;

const Combinations& CostFinderResultsViewController::combinations() const {
  return model_->combinations();
}

void CostFinderResultsViewController::setCombinations(Combinations combinations) {
  selectedStore_ = nullptr;
  model_->setCombinations(std::move(combinations));
  createCellViews();
  updateExportPlanButton();
  expandCombinations();
}

void CostFinderResultsViewController::awakeFromNib() {
  QTimer::singleShot(0, this, &CostFinderResultsViewController::expandCombinations);
}

void CostFinderResultsViewController::expandCombinations() {
  for (int row = 0; row < model_->rowCount(); ++row) {
    outLineView_->expand(model_->index(row, 0));
  }
}

// The group rows' own views: the combination text with its cost in bold, and the store cell
// with its link, country, shipping and XML button. Both span the row.
void CostFinderResultsViewController::createCellViews() {
  for (int row = 0; row < model_->rowCount(); ++row) {
    const QModelIndex combinationIndex = model_->index(row, 0);
    outLineView_->setFirstColumnSpanned(row, QModelIndex(), true);
    auto* label = new QLabel;
    label->setObjectName(QStringLiteral("CombinationGroup"));
    label->setAutoFillBackground(true);
    label->setFixedHeight(kGroupRowHeight);
    label->setTextFormat(Qt::RichText);
    // Clicks and the context menu belong to the row beneath: the text has nothing to click.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setText(CombinationCostFormatter::ToHtml(
        formatter_.attributedStringForObjectValue(model_->combinationAt(combinationIndex))));
    outLineView_->setIndexWidget(combinationIndex, label);
    for (int storeRow = 0; storeRow < model_->rowCount(combinationIndex); ++storeRow) {
      const QModelIndex storeIndex = model_->index(storeRow, 0, combinationIndex);
      outLineView_->setFirstColumnSpanned(storeRow, combinationIndex, true);
      auto* cell = new StoreTableCellView(*model_->storeAt(storeIndex), storeIndex);
      connect(cell, &StoreTableCellView::createWantedListXml, this,
              &CostFinderResultsViewController::createWantedListXml);
      outLineView_->setIndexWidget(storeIndex, cell);
    }
  }
  outLineView_->header()->resizeSection(CombinationOutlineModel::QuantityColumn, 100);
  outLineView_->header()->resizeSection(CombinationOutlineModel::PriceColumn, 90);
  outLineView_->header()->resizeSection(CombinationOutlineModel::ConditionColumn, 80);
  outLineView_->header()->resizeSection(CombinationOutlineModel::PartNumberColumn, 90);
  outLineView_->header()->resizeSection(CombinationOutlineModel::ColorColumn, 130);
}

StoreTableCellView* CostFinderResultsViewController::storeCellView(const QModelIndex& index) const {
  return qobject_cast<StoreTableCellView*>(outLineView_->indexWidget(index));
}

QLineEdit* CostFinderResultsViewController::wantedListIdTextField() const {
  return createWantedListXmlSheet_->wantedListIdTextField();
}

void CostFinderResultsViewController::createWantedListXml(StoreTableCellView* sender) {
  if (sender == nullptr || !sender->row().isValid()) {
    return;
  }
  selectedStore_ = model_->storeAt(sender->row());
  if (selectedStore_ == nullptr) {
    return;
  }
  enteredWantedListID_.reset();
  BOOST_LOG_TRIVIAL(info) << "Store: " << selectedStore_->storeID();
  createWantedListXmlSheet_->open();
}

void CostFinderResultsViewController::copyWantedListXml() {
  const std::optional<std::uint32_t> wantedListId = createWantedListXmlSheet_->wantedListId();
  if (!wantedListId || selectedStore_ == nullptr) {
    QApplication::beep();
    emit wantedListIdRejected();
    return;
  }
  enteredWantedListID_ = wantedListId;
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(selectedStore_->CreateWantedListXml(*wantedListId));
  createWantedListXmlSheet_->accept();
  wantedListIdTextField()->clear();
}

void CostFinderResultsViewController::endCopyWantedListXmlSheet() {
  createWantedListXmlSheet_->reject();
}

void CostFinderResultsViewController::showTipSheet() { tipSheet_->open(); }

void CostFinderResultsViewController::endTipSheet() { tipSheet_->reject(); }

void CostFinderResultsViewController::help() { OpenUsageHelpPage(); }

void CostFinderResultsViewController::setFolderChooser(FolderChooser chooser) {
  folderChooser_ = std::move(chooser);
}

void CostFinderResultsViewController::showContextMenu(const QPoint& position) {
  createContextMenu(outLineView_->indexAt(position));
  if (contextMenu_ != nullptr) {
    contextMenu_->popup(outLineView_->viewport()->mapToGlobal(position));
  }
}

void CostFinderResultsViewController::createContextMenu(const QModelIndex& row) {
  if (contextMenu_ != nullptr) {
    contextMenu_->deleteLater();
    contextMenu_ = nullptr;
  }
  const QModelIndex first = row.siblingAtColumn(0);
  if (model_->combinationAt(first) != nullptr) {
    contextMenu_ = new QMenu(this);
    QAction* exportPlanAction = contextMenu_->addAction(QStringLiteral("Export Plan..."));
    exportPlanAction->setObjectName(QStringLiteral("exportPlanAction"));
    connect(exportPlanAction, &QAction::triggered, this,
            [this, plan = QPersistentModelIndex(first)] { exportPlan(plan); });
  } else if (const StoreWrapper* store = model_->storeAt(first)) {
    bool kept = false;
    try {
      const Preferences saved = CreatePreferencesManager()->GetPreferences();
      kept = std::find(saved.requiredStores.begin(), saved.requiredStores.end(),
                       store->storeID()) != saved.requiredStores.end();
    } catch (const std::exception& exception) {
      BOOST_LOG_TRIVIAL(error) << "Unable to read the stores to keep: " << exception.what();
    }
    contextMenu_ = new QMenu(this);
    QAction* keepAction = contextMenu_->addAction(QStringLiteral("Always include this store"));
    keepAction->setObjectName(QStringLiteral("alwaysIncludeStoreAction"));
    keepAction->setCheckable(true);
    keepAction->setChecked(kept);
    keepAction->setStatusTip(QStringLiteral("Keep this store in every plan of the next search"));
    connect(keepAction, &QAction::triggered, this,
            [this, storeId = store->storeID()](bool checked) {
              setStoreAlwaysIncluded(storeId, checked);
            });
  }
  if (contextMenu_ != nullptr) {
    contextMenu_->setObjectName(QStringLiteral("outlineContextMenu"));
  }
}

void CostFinderResultsViewController::exportSelectedPlan() {
  exportPlan(outLineView_->currentIndex());
}

void CostFinderResultsViewController::exportPlan(const QModelIndex& row) {
  QModelIndex plan = row.siblingAtColumn(0);
  while (plan.parent().isValid()) {
    plan = plan.parent();
  }
  const CombinationWrapper* combination = model_->combinationAt(plan);
  if (combination == nullptr) {
    return;
  }
  const QString directory = folderChooser_(
      this, QStringLiteral("Choose a Folder for Combination #%1").arg(combination->index()));
  if (directory.isEmpty()) {
    return;
  }
  try {
    const QStringList paths = combination->ExportWantedLists(directory, kExportedWantedListId);
    QStringList names;
    for (const QString& path : paths) {
      names << QFileInfo(path).fileName();
    }
    showAlert(QStringLiteral("exportAlert"),
              QStringLiteral("Wrote %1 wanted-list %2 of combination #%3 to %4.")
                  .arg(paths.size())
                  .arg(paths.size() == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                  .arg(combination->index())
                  .arg(QDir::toNativeSeparators(directory)),
              names.join(QLatin1Char('\n')));
    emit planExported(paths);
  } catch (const std::exception& exception) {
    BOOST_LOG_TRIVIAL(error) << "Unable to export a plan: " << exception.what();
    const QString message =
        QStringLiteral("Unable to export combination #%1 to %2.\n%3")
            .arg(combination->index())
            .arg(QDir::toNativeSeparators(directory), QString::fromLocal8Bit(exception.what()));
    showAlert(QStringLiteral("exportAlert"), message, QString());
    emit planExportFailed(message);
  }
}

void CostFinderResultsViewController::setStoreAlwaysIncluded(std::uint32_t storeId, bool included) {
  try {
    ChangeSavedPreferences([&](Preferences& preferences) {
      std::vector<std::uint32_t>& kept = preferences.requiredStores;
      std::erase(kept, storeId);
      if (included) {
        kept.push_back(storeId);
        // No plan can both avoid and keep a store; the latest choice wins.
        std::erase(preferences.excludedStores, storeId);
      }
    });
  } catch (const std::exception& exception) {
    BOOST_LOG_TRIVIAL(error) << "Unable to save the stores to keep: " << exception.what();
    showAlert(QStringLiteral("saveAlert"),
              QStringLiteral("Unable to save the stores to keep.\n%1")
                  .arg(QString::fromUtf8(exception.what())),
              QString());
  }
}

void CostFinderResultsViewController::updateExportPlanButton() {
  exportPlanButton_->setEnabled(outLineView_->currentIndex().isValid());
}

void CostFinderResultsViewController::showAlert(const QString& name, const QString& text,
                                                const QString& informativeText) {
  CreateAlert(this, name, text, informativeText)->open();
}

}  // namespace Corvalle::Desktop
