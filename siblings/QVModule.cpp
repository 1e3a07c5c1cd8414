#include "QVModule.h"

#include <mutex>

namespace {

// The chain's head and the lock every walk takes.
struct Chain {
  std::mutex lock;
  QVModule* head = nullptr;
};

// Never destroyed: libraries leave the chain from their own static
// destructors, which may run after this file's.
Chain& TheChain() {
  static Chain* chain = new Chain;
  return *chain;
}

}  // namespace

void QVJoinModuleChain(QVModule* module) {
  Chain& chain = TheChain();
  std::lock_guard<std::mutex> hold(chain.lock);
  if (module->joined++ > 0) return;
  module->next = chain.head;
  chain.head = module;
}

void QVLeaveModuleChain(QVModule* module) {
  Chain& chain = TheChain();
  std::lock_guard<std::mutex> hold(chain.lock);
  if (module->joined == 0 || --module->joined > 0) return;
  for (QVModule** link = &chain.head; *link != nullptr; link = &(*link)->next) {
    if (*link == module) {
      *link = module->next;
      module->next = nullptr;
      return;
    }
  }
}

bool QVFindModuleString(unsigned id, CString* text) {
  Chain& chain = TheChain();
  std::lock_guard<std::mutex> hold(chain.lock);
  for (const QVModule* module = chain.head; module != nullptr; module = module->next) {
    for (size_t i = 0; i < module->stringCount; ++i) {
      if (module->strings[i].id == id) {
        *text = module->strings[i].text;
        return true;
      }
    }
  }
  return false;
}

CStringArray QVModuleChainNames() {
  Chain& chain = TheChain();
  std::lock_guard<std::mutex> hold(chain.lock);
  CStringArray names;
  for (const QVModule* module = chain.head; module != nullptr; module = module->next) names.push_back(module->name);
  return names;
}
