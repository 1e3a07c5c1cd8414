// One installable observer: set from any thread, called outside the lock.
#pragma once

#include <functional>
#include <mutex>
#include <utility>

template <typename Observer>
class QVCObserverSlot {
 public:
  // Installs the observer (an empty one removes it); returns the previous one.
  Observer Set(Observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    Observer previous = std::move(observer_);
    observer_ = std::move(observer);
    return previous;
  }

  Observer Get() {
    std::lock_guard<std::mutex> lock(mutex_);
    return observer_;
  }

 private:
  std::mutex mutex_;
  Observer observer_;
};
