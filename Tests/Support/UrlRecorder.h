#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace Testing {

// Records the addresses that the program asks the platform to open; install it with
// QDesktopServices::setUrlHandler(scheme, &recorder, "open").
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

}  // namespace Testing
