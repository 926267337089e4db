#include "Source/Desktop/CostFinderWindowController.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "Source/Desktop/Alert.h"
#include "Source/Desktop/ApplicationRelauncher.h"
#include "Source/Base/BrickLink/Countries.h"
#include "Source/Base/BrickLink/Currencies.h"
#include "Source/Desktop/CostFinderResultsViewController.h"
#include "Source/Desktop/CostFinderStatusViewController.h"
#include "Source/Base/Logging.h"
#include "Source/Desktop/MainThread.h"
#include "Source/Base/PreferencesManager.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Source/Base/SearchDefaults.h"
#include "Source/Desktop/SearchRunner.h"
#include "Source/Desktop/StoreCountChart.h"
#include "Source/Desktop/StoreListDialog.h"
#include "Source/Desktop/TipTargets.h"

namespace Corvalle::Desktop {

namespace {

const QString kRegionsTitle = QStringLiteral("Ship From Regions");

QDoubleSpinBox* CreateShippingField(const char* name, const QString& toolTip) {
  auto* field = new QDoubleSpinBox;
  field->setObjectName(QString::fromLatin1(name));
  field->setDecimals(2);
  field->setRange(0.0, kMostShipping);
  field->setToolTip(toolTip);
  return field;
}

void Remove(std::vector<std::uint32_t>& stores, const std::vector<std::uint32_t>& removed) {
  std::erase_if(stores, [&](std::uint32_t store) {
    return std::find(removed.begin(), removed.end(), store) != removed.end();
  });
}

// Shows the entry with the text, or when no entry has it, the one with the fallback text.
void Select(QComboBox& picker, const QString& text, const QString& fallback) {
  const int index = picker.findText(text);
  picker.setCurrentIndex(index >= 0 ? index : picker.findText(fallback));
}

// The checked regions of the menu, in menu order. The title entry cannot be checked.
std::vector<std::string> CheckedRegions(const QMenu& menu) {
  std::vector<std::string> names;
  for (const QAction* entry : menu.actions()) {
    if (entry->isChecked()) {
      names.push_back(entry->text().toStdString());
    }
  }
  return names;
}

void CheckRegions(const QMenu& menu, const std::vector<std::string>& names) {
  for (QAction* entry : menu.actions()) {
    if (std::find(names.begin(), names.end(), entry->text().toStdString()) != names.end()) {
      entry->setChecked(true);
    }
  }
}

}  // namespace

CostFinderWindowController::CostFinderWindowController(std::string marketplaceHost, QWidget* parent)
    : CostFinderWindowController(std::move(marketplaceHost), CreateCostFinder, parent) {}

CostFinderWindowController::CostFinderWindowController(std::string marketplaceHost,
                                                       CostFinderFactory createCostFinder,
                                                       QWidget* parent)
    : QMainWindow(parent),
      filenameTextField(new QLineEdit),
      selectWantedList(new QPushButton(QStringLiteral("Select Wanted List..."))),
      findCombinations(new QPushButton(QStringLiteral("Find Combinations"))),
      storesPerCombination(new QComboBox),
      numberOfThreads(new QComboBox),
      country(new QComboBox),
      currency(new QComboBox),
      regions(new QToolButton),
      shippingDomestic(CreateShippingField(
          "shippingDomestic",
          QStringLiteral("Added for every store in your country that a plan buys from, in the "
                         "chosen currency. 0 leaves shipping out."))),
      shippingInternational(CreateShippingField(
          "shippingInternational",
          QStringLiteral("Added for every store in another country that a plan buys from, in "
                         "the chosen currency. 0 leaves shipping out."))),
      storesToAvoid(new QPushButton(QStringLiteral("Stores to Avoid..."))),
      storesToKeep(new QPushButton(QStringLiteral("Stores to Keep..."))),
      hostView(new QWidget),
      storeCountChart_(new StoreCountChart),
      leftOutLabel_(new QLabel),
      proofLabel_(new QLabel),
      searchRunner(
          std::make_unique<SearchRunner>(std::move(marketplaceHost), std::move(createCostFinder))) {
  setObjectName(QStringLiteral("CostFinderWindowController"));
  setWindowTitle(QStringLiteral("Corvalle"));
  filenameTextField->setObjectName(QStringLiteral("filenameTextField"));
  filenameTextField->setReadOnly(true);
  filenameTextField->setPlaceholderText(QStringLiteral("Choose a wanted list (.xml or .bsx)"));
  filenameTextField->setMinimumWidth(320);
  selectWantedList->setObjectName(QStringLiteral("selectWantedList"));
  findCombinations->setObjectName(QStringLiteral("findCombinations"));
  findCombinations->setEnabled(false);
  findCombinations->setDefault(true);
  storesPerCombination->setObjectName(QStringLiteral("storesPerCombination"));
  numberOfThreads->setObjectName(QStringLiteral("numberOfThreads"));
  country->setObjectName(QStringLiteral("country"));
  currency->setObjectName(QStringLiteral("currency"));
  regions->setObjectName(QStringLiteral("regions"));
  storesToAvoid->setObjectName(QStringLiteral("storesToAvoid"));
  storesToAvoid->setToolTip(QStringLiteral("Stores that no plan buys from"));
  storesToKeep->setObjectName(QStringLiteral("storesToKeep"));
  storesToKeep->setToolTip(QStringLiteral("Stores that every plan buys from"));
  hostView->setObjectName(QStringLiteral("hostView"));

  for (std::uint32_t stores = 1; stores <= kMaximumStoresPerCombination; ++stores) {
    storesPerCombination->addItem(QString::number(stores));
  }
  // Entry 0 of the pull-down is its title; the regions follow, each with its check mark.
  auto* regionsMenu = new QMenu(regions);
  regionsMenu->setObjectName(QStringLiteral("regionsMenu"));
  QAction* title = regionsMenu->addAction(kRegionsTitle);
  title->setEnabled(false);
  for (const std::string& name : BrickLink::GetRegionNames()) {
    QAction* entry = regionsMenu->addAction(QString::fromStdString(name));
    entry->setCheckable(true);
  }
  regions->setText(kRegionsTitle);
  regions->setMenu(regionsMenu);
  regions->setPopupMode(QToolButton::InstantPopup);
  regions->setToolButtonStyle(Qt::ToolButtonTextOnly);
  connect(regionsMenu, &QMenu::triggered, this, &CostFinderWindowController::handleRegionSelection);
  connect(selectWantedList, &QPushButton::clicked, this,
          &CostFinderWindowController::showOpenWantedListPanel);
  connect(findCombinations, &QPushButton::clicked, this,
          &CostFinderWindowController::launchFindCombinations);
  connect(storesToAvoid, &QPushButton::clicked, this,
          &CostFinderWindowController::showStoresToAvoidDialog);
  connect(storesToKeep, &QPushButton::clicked, this,
          &CostFinderWindowController::showStoresToKeepDialog);
  connect(searchRunner.get(), &SearchRunner::failed, this,
          [this](const QString& message) { queueAlert(message); });
  connect(searchRunner.get(), &SearchRunner::linesSkipped, this,
          &CostFinderWindowController::showSkippedLines);
  connect(searchRunner.get(), &SearchRunner::finished, this,
          &CostFinderWindowController::searchFinishedWith);
  connect(searchRunner.get(), &SearchRunner::extrasFound, this,
          &CostFinderWindowController::showExtras);
  connect(storeCountChart_, &StoreCountChart::storesChosen, this,
          [this](std::uint32_t, const Combinations& plans) {
            if (resultsView != nullptr) {
              resultsView->setCombinations(plans);
            }
          });

  auto* controls = new QGridLayout;
  controls->addWidget(new QLabel(QStringLiteral("Wanted list:")), 0, 0);
  controls->addWidget(filenameTextField, 0, 1, 1, 3);
  controls->addWidget(selectWantedList, 0, 4);
  controls->addWidget(new QLabel(QStringLiteral("Stores per combination:")), 1, 0);
  controls->addWidget(storesPerCombination, 1, 1);
  controls->addWidget(new QLabel(QStringLiteral("Threads:")), 1, 2);
  controls->addWidget(numberOfThreads, 1, 3);
  controls->addWidget(regions, 1, 4);
  controls->addWidget(new QLabel(QStringLiteral("Country:")), 2, 0);
  controls->addWidget(country, 2, 1);
  controls->addWidget(new QLabel(QStringLiteral("Currency:")), 2, 2);
  controls->addWidget(currency, 2, 3);
  controls->addWidget(storesToAvoid, 2, 4);
  controls->addWidget(new QLabel(QStringLiteral("Shipping per store, domestic:")), 3, 0);
  controls->addWidget(shippingDomestic, 3, 1);
  controls->addWidget(new QLabel(QStringLiteral("International:")), 3, 2);
  controls->addWidget(shippingInternational, 3, 3);
  controls->addWidget(storesToKeep, 3, 4);
  controls->addWidget(findCombinations, 4, 4);
  controls->setColumnStretch(1, 1);
  controls->setColumnStretch(3, 1);

  auto* hostLayout = new QVBoxLayout(hostView);
  hostLayout->setContentsMargins(0, 0, 0, 0);

  leftOutLabel_->setObjectName(QStringLiteral("leftOutLabel"));
  leftOutLabel_->setTextFormat(Qt::PlainText);
  leftOutLabel_->setWordWrap(true);
  leftOutLabel_->hide();
  proofLabel_->setObjectName(QStringLiteral("proofLabel"));
  proofLabel_->setTextFormat(Qt::PlainText);
  proofLabel_->setWordWrap(true);
  proofLabel_->hide();
  storeCountChart_->hide();

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addLayout(controls);
  layout->addWidget(proofLabel_);
  layout->addWidget(leftOutLabel_);
  layout->addWidget(storeCountChart_);
  layout->addWidget(hostView, 1);
  setCentralWidget(central);

  awakeFromNib();
}

CostFinderWindowController::~CostFinderWindowController() = default;

bool CostFinderWindowController::isSearching() const { return searchRunner->isRunning(); }

void CostFinderWindowController::awakeFromNib() {
  try {
    Sqlite::SetDataDirectory(Sqlite::GetDefaultDataDirectory().c_str());
  } catch (const std::exception& error) {
    // HOME unset, the cache path a file: the window still comes up and says why no search
    // can keep its caches, instead of the program ending before any window.
    BOOST_LOG_TRIVIAL(error) << error.what();
    handleError(QStringLiteral("Corvalle cannot use its data directory.\n%1")
                    .arg(QString::fromStdString(error.what())));
  }
  populateThreadPicker();
  populateCountryPicker();
  populateCurrencyPicker();
  populatePreferences();
  if (const std::string notice = Sqlite::TakeDatabaseNotice(); !notice.empty()) {
    handleError(QString::fromStdString(notice));
  }
  statusView = new CostFinderStatusViewController(hostView);
  statusView->hide();
  statusView->setErrorHandler(this);
  connect(statusView, &CostFinderStatusViewController::stopRequested, searchRunner.get(),
          &SearchRunner::stop);
  currentView = statusView;
  // The window's first size fits the controls and the status view.
  hostView->layout()->addWidget(statusView);
  statusView->show();
  resize(sizeHint().expandedTo(QSize(statusView->width(), 0)));
  setMinimumWindowSize();
  displayStatusView();
}

void CostFinderWindowController::populateThreadPicker() {
  const unsigned hardwareThreads = std::thread::hardware_concurrency();
  BOOST_LOG_TRIVIAL(info) << "Maximum number of threads: " << hardwareThreads;
  // A machine that reports no count still gets one entry: a search needs a thread.
  for (unsigned threads = 1; threads <= std::max(1u, hardwareThreads); ++threads) {
    numberOfThreads->addItem(QString::number(threads));
  }
  numberOfThreads->setCurrentIndex(static_cast<int>(DefaultThreadCount()) - 1);
}

void CostFinderWindowController::populateCountryPicker() {
  std::vector<BrickLink::Country> countries = BrickLink::GetCountries();
  std::sort(countries.begin(), countries.end(), BrickLink::CompareCountriesByName);
  for (const BrickLink::Country& entry : countries) {
    country->addItem(QString::fromUtf8(entry.name));
  }
}

void CostFinderWindowController::populateCurrencyPicker() {
  for (const BrickLink::Currency& entry : BrickLink::GetCurrencies()) {
    currency->addItem(QString::fromUtf8(entry.name));
  }
}

void CostFinderWindowController::populatePreferences() {
  const Preferences firstStart = FirstStartPreferences();
  Preferences preferences = firstStart;
  try {
    preferences = CreatePreferencesManager()->GetPreferences();
  } catch (const std::exception& exception) {
    // The window must still come up, and with the values of a first start, not with the first
    // entry of each list.
    BOOST_LOG_TRIVIAL(error) << "Unable to read the preferences: " << exception.what();
  }
  // A stored value that no entry shows (a count out of range, a name the tables do not know,
  // no known region) would start a search that cannot run; such a control shows the value of a
  // first start instead.
  Select(*storesPerCombination, QString::number(preferences.storesPerCombination),
         QString::number(firstStart.storesPerCombination));
  Select(*country, QString::fromStdString(preferences.country),
         QString::fromStdString(firstStart.country));
  Select(*currency, QString::fromStdString(preferences.currency),
         QString::fromStdString(firstStart.currency));
  shippingDomestic->setValue(preferences.shippingDomestic);
  shippingInternational->setValue(preferences.shippingInternational);
  CheckRegions(*regions->menu(), preferences.regions);
  if (CheckedRegions(*regions->menu()).empty()) {
    CheckRegions(*regions->menu(), firstStart.regions);
  }
}

void CostFinderWindowController::setMinimumWindowSize() {
  setMinimumSize(currentView->width(), height());
}

void CostFinderWindowController::showOpenWantedListPanel() {
  auto* panel = new QFileDialog(this, QStringLiteral("Choose a Wanted List"), QString(),
                                QStringLiteral("Wanted lists (*.bsx *.xml)"));
  panel->setObjectName(QStringLiteral("openWantedListPanel"));
  panel->setFileMode(QFileDialog::ExistingFile);
  panel->setAcceptMode(QFileDialog::AcceptOpen);
  panel->setWindowModality(Qt::WindowModal);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  connect(panel, &QFileDialog::fileSelected, this, &CostFinderWindowController::wantedListChosen);
  panel->open();
}

void CostFinderWindowController::wantedListChosen(const QString& path) {
  filenameTextField->selectAll();
  filenameTextField->setText(path);
  // The end of a long path is what tells lists apart.
  filenameTextField->end(false);
  findCombinations->setEnabled(true);
}

void CostFinderWindowController::handleRegionSelection(QAction* chosen) {
  // The menu has already flipped the entry.
  if (!chosen->isChecked() && CheckedRegions(*regions->menu()).empty()) {
    chosen->setChecked(true);
  }
}

SearchRequest CostFinderWindowController::currentRequest() const {
  SearchRequest request;
  request.wantedListPath = filenameTextField->text().toStdString();
  request.threadCount = std::max(1u, numberOfThreads->currentText().toUInt());
  Preferences& preferences = request.preferences;
  preferences.storesPerCombination = storesPerCombination->currentText().toUInt();
  preferences.country = country->currentText().toStdString();
  preferences.currency = currency->currentText().toStdString();
  preferences.regions = CheckedRegions(*regions->menu());
  preferences.shippingDomestic = shippingDomestic->value();
  preferences.shippingInternational = shippingInternational->value();
  const Preferences saved = CreatePreferencesManager()->GetPreferences();
  preferences.excludedStores = saved.excludedStores;
  preferences.requiredStores = saved.requiredStores;
  return request;
}

void CostFinderWindowController::launchFindCombinations() { launchSearch(false); }

void CostFinderWindowController::launchFindCombinationsWithoutUnavailable() {
  launchSearch(true);
}

void CostFinderWindowController::launchSearch(bool skipUnavailable) {
  if (isSearching()) {
    return;
  }
  SearchRequest request;
  try {
    request = currentRequest();
  } catch (const std::exception& exception) {
    // A search without the saved stores would save its own empty lists over them.
    BOOST_LOG_TRIVIAL(error) << "Unable to read the saved stores: " << exception.what();
    queueAlert(QStringLiteral("Unable to read the saved stores to avoid and to keep.\n") +
               QString::fromUtf8(exception.what()));
    return;
  }
  request.skipUnavailable = skipUnavailable;
  statusView->prepareForStatusUpdates();
  // The lines named belong to the search before; the bar is made only when there were any.
  if (auto* bar = findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly)) {
    bar->clearMessage();
    bar->setToolTip(QString());
  }
  displayStatusView();
  setConfigurationControlsEnabled(false);
  // The plans shown so far belong to the cost finder that this search replaces.
  if (resultsView != nullptr) {
    resultsView->setCombinations({});
  }
  CostFinderStatusViewController* status = statusView;
  searchRunner->start(
      std::move(request),
      {[status](const Utilities::IStatusUpdate& update) { status->updateHighLevelStatus(update); },
       [status](const Utilities::IStatusUpdate& update) { status->updateLowLevelStatus(update); },
       [](const std::string& text) { BOOST_LOG_TRIVIAL(info) << "Statistic: " << text; },
       [status](const LiveBounds& bounds) { status->updateSearchBounds(bounds); }});
}

void CostFinderWindowController::showExtras(const SearchExtrasFound& extras) {
  // The stores to avoid and to keep come from the saved settings only, through their dialogs;
  // the other settings are the window's own, which a refused search does not save.
  const auto refused = [&](RefusedSetting setting) {
    return std::find(extras.refused.begin(), extras.refused.end(), setting) != extras.refused.end();
  };
  savedSettingsHint.clear();
  if (refused(RefusedSetting::ExcludedStores)) {
    savedSettingsHint += QStringLiteral(
        "\nThe stores to avoid are a saved setting: clear them in the Stores to Avoid dialog.");
  }
  if (refused(RefusedSetting::RequiredStores)) {
    savedSettingsHint += QStringLiteral(
        "\nThe stores to keep are a saved setting: clear them in the Stores to Keep dialog.");
  }
  if (!extras.settingsNotSaved.isEmpty()) {
    queueAlert(QStringLiteral("Unable to save the settings.\n") + extras.settingsNotSaved);
  }
  storeCountChart_->setBars(extras.bars, extras.stores);
  unavailableToSkip = !extras.unavailable.empty() && !extras.leftOut;
  proofLabel_->setText(extras.proof);
  leftOutLabel_->setText(
      extras.leftOut ? QStringLiteral("Left out, as the regions chosen cannot supply them:\n") +
                           extras.unavailable.join(QLatin1Char('\n'))
                     : QString());
}

void CostFinderWindowController::searchFinishedWith(const Combinations& combinations) {
  // A search that failed in its search of plans never said that it ended.
  statusView->updateSearchBounds(LiveBounds{});
  for (const QString& failure : std::exchange(searchFailures, QStringList())) {
    queueAlert(failure + savedSettingsHint);
  }
  // A cache file found damaged during the search was moved aside: the user learns where to.
  if (const std::string notice = Sqlite::TakeDatabaseNotice(); !notice.empty()) {
    queueAlert(QString::fromStdString(notice));
  }
  if (combinations.empty()) {
    statusView->reset();
    queueAlert(QStringLiteral("No combinations found :("), unavailableToSkip);
  } else {
    displayResultsView(combinations);
    setConfigurationControlsEnabled(true);
  }
  emit searchFinished();
}

void CostFinderWindowController::showSkippedLines(const QStringList& lines) {
  // Named where they stay in sight with the plans: a line left out without a word would be
  // taken for bought.
  statusBar()->showMessage(
      (lines.size() == 1
           ? QStringLiteral("1 line of the wanted list skipped: ")
           : QStringLiteral("%1 lines of the wanted list skipped: ").arg(lines.size())) +
      lines.join(QStringLiteral("; ")));
  statusBar()->setToolTip(lines.join(QLatin1Char('\n')));
}

void CostFinderWindowController::setConfigurationControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           selectWantedList, findCombinations, storesPerCombination, numberOfThreads, country,
           currency, regions, shippingDomestic, shippingInternational, storesToAvoid,
           storesToKeep}) {
    control->setEnabled(enabled);
  }
}

void CostFinderWindowController::showStoresToAvoidDialog() {
  showStoreListDialog(StoreList::ToAvoid);
}

void CostFinderWindowController::showStoresToKeepDialog() {
  showStoreListDialog(StoreList::ToKeep);
}

void CostFinderWindowController::showStoreListDialog(StoreList list) {
  // The lists belong to the next search: while one runs, the buttons that open them are off.
  if (isSearching()) {
    return;
  }
  const QString numbers = QStringLiteral(
      "Add a store by its number, the one after \"sID=\" in its page address, or paste the "
      "address.");
  std::vector<std::uint32_t> stores;
  try {
    const Preferences saved = CreatePreferencesManager()->GetPreferences();
    stores = list == StoreList::ToAvoid ? saved.excludedStores : saved.requiredStores;
  } catch (const std::exception& exception) {
    BOOST_LOG_TRIVIAL(error) << "Unable to read the saved stores: " << exception.what();
  }
  StoreListDialog* dialog = nullptr;
  if (list == StoreList::ToAvoid) {
    dialog = new StoreListDialog(QStringLiteral("Stores to Avoid"),
                                 QStringLiteral("Plans never buy from these stores.\n") + numbers,
                                 stores, this);
    dialog->setObjectName(QStringLiteral("storesToAvoidDialog"));
  } else {
    dialog = new StoreListDialog(
        QStringLiteral("Stores to Keep"),
        QStringLiteral("Every plan buys from these stores, each taking one of the stores per "
                       "combination. In the results, a store's menu also keeps it.\n") +
            numbers,
        stores, this);
    dialog->setObjectName(QStringLiteral("storesToKeepDialog"));
  }
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this,
          [this, list, dialog] { storeListChosen(list, dialog->stores()); });
  dialog->open();
}

void CostFinderWindowController::storeListChosen(StoreList list,
                                                 const std::vector<std::uint32_t>& stores) {
  try {
    ChangeSavedPreferences([&](Preferences& preferences) {
      if (list == StoreList::ToAvoid) {
        preferences.excludedStores = stores;
        Remove(preferences.requiredStores, stores);
      } else {
        preferences.requiredStores = stores;
        Remove(preferences.excludedStores, stores);
      }
    });
  } catch (const std::exception& exception) {
    BOOST_LOG_TRIVIAL(error) << "Unable to save the stores: " << exception.what();
    CreateAlert(this, QStringLiteral("saveAlert"),
                QStringLiteral("Unable to save the list of stores.\n%1")
                    .arg(QString::fromUtf8(exception.what())))
        ->open();
  }
}

void CostFinderWindowController::enableConfigurationControls() {
  setConfigurationControlsEnabled(true);
  displayStatusView();
}

void CostFinderWindowController::handleError(const QString& message) {
  PostToMainThread(this, [this, message] {
    // A search's failure waits for the search's end, which tells whether a saved setting caused
    // it: then the alert says so.
    if (isSearching()) {
      searchFailures << message;
      return;
    }
    queueAlert(message);
  });
}

void CostFinderWindowController::queueAlert(const QString& message) {
  queueAlert(message, false);
}

void CostFinderWindowController::queueAlert(const QString& message, bool offerSkip) {
  pendingAlerts.push_back({message, offerSkip});
  showNextAlert();
}

void CostFinderWindowController::showNextAlert() {
  if (alertShown || pendingAlerts.empty()) {
    return;
  }
  alertShown = true;
  QMessageBox* alert =
      CreateAlert(this, QStringLiteral("errorAlert"), pendingAlerts.front().message);
  if (pendingAlerts.front().offerSkip) {
    QPushButton* skip =
        alert->addButton(QStringLiteral("Search Without Them"), QMessageBox::ActionRole);
    skip->setObjectName(QStringLiteral("skipUnavailableButton"));
    skip->setToolTip(QStringLiteral(
        "Search the rest of the list, leaving out the items that cannot be bought"));
    // After the alert has closed and given the controls back, so that the search can start.
    connect(skip, &QPushButton::clicked, this, [this] {
      QMetaObject::invokeMethod(this, &CostFinderWindowController::launchFindCombinationsWithoutUnavailable,
                                Qt::QueuedConnection);
    });
  }
  pendingAlerts.pop_front();
  connect(alert, &QMessageBox::finished, this, [this] {
    alertShown = false;
    enableConfigurationControls();
    showNextAlert();
  });
  alert->open();
}

void CostFinderWindowController::displayStatusView() {
  storeCountChart_->hide();
  leftOutLabel_->hide();
  proofLabel_->hide();
  showViewFromViewController(statusView);
  setMaximumSize(QWIDGETSIZE_MAX, height());
}

void CostFinderWindowController::displayResultsView(const Combinations& combinations) {
  if (resultsView == nullptr) {
    resultsView =
        new CostFinderResultsViewController(combinations, TipTargets::FromBuild(), hostView);
    resultsView->hide();
  } else {
    resultsView->setCombinations(combinations);
  }
  showViewFromViewController(resultsView);
  storeCountChart_->setVisible(!storeCountChart_->bars().empty());
  leftOutLabel_->setVisible(!leftOutLabel_->text().isEmpty());
  proofLabel_->setVisible(!proofLabel_->text().isEmpty());
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void CostFinderWindowController::showViewFromViewController(QWidget* viewController) {
  auto* hostLayout = hostView->layout();
  if (currentView != nullptr && currentView != viewController) {
    hostLayout->removeWidget(currentView);
    currentView->hide();
  }
  adjustSize(viewController);
  if (hostLayout->indexOf(viewController) < 0) {
    hostLayout->addWidget(viewController);
  }
  viewController->show();
  currentView = viewController;
}

void CostFinderWindowController::adjustSize(QWidget* newView) {
  const int delta = newView->height() - hostView->height();
  if (delta == 0) {
    return;
  }
  // The top edge stays; the bottom edge moves.
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  QRect frame = geometry();
  frame.setHeight(std::max(minimumHeight(), frame.height() + delta));
  setGeometry(frame);
  newView->setGeometry(hostView->rect());
}

void CostFinderWindowController::closeEvent(QCloseEvent* event) {
  if (isSearching()) {
    // Only the search of plans can be stopped, and the window owns what the search works on:
    // end the process at once, as cancelling does.
    TerminateApplication();
  }
  QMainWindow::closeEvent(event);
}

}  // namespace Corvalle::Desktop
