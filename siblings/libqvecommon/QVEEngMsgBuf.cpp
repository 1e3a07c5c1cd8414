#include "libqvecommon/QVEEngMsgBuf.h"

#include "LibQVCCommon/QVCObserver.h"

namespace {

QVCObserverSlot<QVEEngMsgBufObserver> g_observer;

}  // namespace

void QVEEngPutMsgBuf(const char* text) {
  if (QVEEngMsgBufObserver observer = g_observer.Get()) observer(text != nullptr ? text : "");
}

QVEEngMsgBufObserver QVEEngSetMsgBufObserver(QVEEngMsgBufObserver observer) {
  return g_observer.Set(std::move(observer));
}
