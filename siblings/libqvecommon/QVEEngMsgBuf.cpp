#include "libqvecommon/QVEEngMsgBuf.h"

#include <mutex>

namespace {

std::mutex g_mutex;
QVEEngMsgBufObserver g_observer;

}  // namespace

void QVEEngPutMsgBuf(const char* text) {
  QVEEngMsgBufObserver observer;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    observer = g_observer;
  }
  if (observer) observer(text != nullptr ? text : "");
}

QVEEngMsgBufObserver QVEEngSetMsgBufObserver(QVEEngMsgBufObserver observer) {
  std::lock_guard<std::mutex> lock(g_mutex);
  QVEEngMsgBufObserver previous = std::move(g_observer);
  g_observer = std::move(observer);
  return previous;
}
