#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

namespace Corvalle::Desktop {

// Runs a change on the main thread, after the events already queued: widgets may only be
// touched there, and the searches report from their own threads. The change is dropped when
// the context is gone by then, so it may refer to the context freely.
template <typename Change>
void PostToMainThread(QObject* context, Change change) {
  QMetaObject::invokeMethod(context, std::move(change), Qt::QueuedConnection);
}

}  // namespace Corvalle::Desktop
