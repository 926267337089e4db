#include "Source/Desktop/CostFinderStatusViewController.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "Source/Desktop/ApplicationRelauncher.h"
#include "Source/Base/CostFinder.h"
#include "Source/Desktop/ErrorHandler.h"
#include "Source/Desktop/HelpPage.h"
#include "Source/Base/Logging.h"
#include "Source/Desktop/MainThread.h"
#include "Source/Base/StatusUpdate.h"

namespace Corvalle::Desktop {

namespace {

QProgressBar* CreateProgressBar(const QString& name, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(name);
  bar->setRange(0, CostFinderStatusViewController::kProgressScale);
  bar->setValue(static_cast<int>(0.001 * CostFinderStatusViewController::kProgressScale));
  bar->setTextVisible(false);
  return bar;
}

QLabel* CreateTextField(const QString& name, QWidget* parent) {
  auto* field = new QLabel(parent);
  field->setObjectName(name);
  // The lines show names and remarks from the wanted list and the marketplace: as rich text a
  // remark's <img src=...> would make Qt read local files.
  field->setTextFormat(Qt::PlainText);
  field->setTextInteractionFlags(Qt::TextSelectableByMouse);
  field->setMinimumWidth(200);
  return field;
}

}  // namespace

CostFinderStatusViewController::CostFinderStatusViewController(QWidget* parent)
    : QWidget(parent),
      highLevelStatus(CreateTextField(QStringLiteral("highLevelStatus"), this)),
      highLevelProgress(CreateProgressBar(QStringLiteral("highLevelProgress"), this)),
      lowLevelStatus(CreateTextField(QStringLiteral("lowLevelStatus"), this)),
      lowLevelProgress(CreateProgressBar(QStringLiteral("lowLevelProgress"), this)),
      boundsStatus(CreateTextField(QStringLiteral("boundsStatus"), this)),
      stopButton(new QPushButton(QStringLiteral("Stop"), this)),
      cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      helpButton(new QPushButton(QStringLiteral("Help"), this)) {
  setObjectName(QStringLiteral("CostFinderStatusViewController"));
  stopButton->setObjectName(QStringLiteral("stopButton"));
  stopButton->setToolTip(
      QStringLiteral("End the search of plans now and show the cheapest plans found so far, "
                     "with how far from the best they can be"));
  stopButton->setEnabled(false);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  helpButton->setObjectName(QStringLiteral("helpButton"));
  cancelButton->setEnabled(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(highLevelStatus, 0, 0);
  layout->addWidget(highLevelProgress, 1, 0);
  layout->addWidget(lowLevelStatus, 2, 0);
  layout->addWidget(lowLevelProgress, 3, 0);
  layout->addWidget(boundsStatus, 4, 0);
  auto* searchButtons = new QHBoxLayout;
  searchButtons->addWidget(stopButton);
  searchButtons->addWidget(cancelButton);
  layout->addLayout(searchButtons, 1, 1);
  layout->addWidget(helpButton, 3, 1);
  layout->setColumnStretch(0, 1);

  connect(stopButton, &QPushButton::clicked, this, &CostFinderStatusViewController::stop);
  connect(cancelButton, &QPushButton::clicked, this, &CostFinderStatusViewController::cancel);
  connect(helpButton, &QPushButton::clicked, this, &CostFinderStatusViewController::help);
  resize(640, 150);
}

void CostFinderStatusViewController::setErrorHandler(IErrorHandler* handler) {
  errorHandler = handler;
}

void CostFinderStatusViewController::reset() {
  for (QLabel* field : {highLevelStatus, lowLevelStatus, boundsStatus}) {
    field->clear();
  }
  for (QProgressBar* bar : {highLevelProgress, lowLevelProgress}) {
    bar->setRange(0, kProgressScale);
    bar->setValue(static_cast<int>(0.001 * kProgressScale));
  }
  stopButton->setEnabled(false);
  cancelButton->setEnabled(false);
}

void CostFinderStatusViewController::prepareForStatusUpdates() {
  // The bounds and the stop belong to the search before.
  boundsStatus->clear();
  stopPressed = false;
  stopButton->setEnabled(false);
  cancelButton->setEnabled(true);
}

void CostFinderStatusViewController::updateSearchBounds(const LiveBounds& bounds) {
  const bool searching = bounds.searching;
  if (searching) {
    const QString text = QStringLiteral("Search of plans: ") + QString::fromStdString(bounds.text);
    PostToMainThread(boundsStatus, [field = boundsStatus, text] { field->setText(text); });
  }
  PostToMainThread(stopButton,
                   [this, searching] { stopButton->setEnabled(searching && !stopPressed); });
}

void CostFinderStatusViewController::stop() {
  stopPressed = true;
  stopButton->setEnabled(false);
  emit stopRequested();
}

void CostFinderStatusViewController::updateHighLevelStatus(
    const Utilities::IStatusUpdate& statusUpdate) {
  updateStatusWithStatusUpdate(statusUpdate, highLevelStatus, highLevelProgress);
}

void CostFinderStatusViewController::updateLowLevelStatus(
    const Utilities::IStatusUpdate& statusUpdate) {
  updateStatusWithStatusUpdate(statusUpdate, lowLevelStatus, lowLevelProgress);
}

void CostFinderStatusViewController::updateStatusWithStatusUpdate(
    const Utilities::IStatusUpdate& statusUpdate, QLabel* textField,
    QProgressBar* progressIndicator) {
  if (statusUpdate.IsFailed()) {
    if (errorHandler != nullptr) {
      errorHandler->handleError(QString::fromStdString(statusUpdate.Message()));
    }
    return;
  }
  const QString text =
      statusUpdate.HasMessage() ? QString::fromStdString(statusUpdate.Message()) : QString();
  PostToMainThread(textField, [textField, text] { textField->setText(text); });
  if (statusUpdate.IsProgressIndeterminate()) {
    // A busy bar animates by itself.
    PostToMainThread(progressIndicator, [progressIndicator] { progressIndicator->setRange(0, 0); });
  } else {
    const double progress = statusUpdate.Progress() == 0.0 ? 0.001 : statusUpdate.Progress();
    const int value =
        static_cast<int>(std::lround(std::clamp(progress, 0.0, 1.0) * kProgressScale));
    PostToMainThread(progressIndicator,
                     [progressIndicator] { progressIndicator->setRange(0, kProgressScale); });
    PostToMainThread(progressIndicator,
                     [progressIndicator, value] { progressIndicator->setValue(value); });
  }
  if (statusUpdate.IsFinished()) {
    BOOST_LOG_TRIVIAL(info) << "Operation completed successfully!";
  }
}

void CostFinderStatusViewController::cancel() {
  RelaunchApplication(QCoreApplication::applicationFilePath());
  TerminateApplication();
}

void CostFinderStatusViewController::help() { OpenUsageHelpPage(); }

}  // namespace Corvalle::Desktop
