#include "LibQVCCommon/QVCMessage.h"

#include "LibQVCCommon/QVCObserver.h"

namespace {

struct Message {
  unsigned id;
  const char* text;
};

constexpr Message kCatalogue[] = {
    {QVC_MSG_PROJECT_NOT_FOUND, "The project cannot be found on this station (error 0x%08X). "},
    {QVC_MSG_LOCKED_BY, "%s is being edited on another station: %s (holder %d)."},
    {16720, "Recipe operators: may run and read recipes"},
    {16721, "Recipe engineers: may also create and edit recipes"},
    {16722, "Recipe maintainers: may also delete recipes"},
    {16723, "Recipe approvers: may also approve recipes"},
    {16724, "Recipe downloaders: may also download recipes"},
};

QVCObserverSlot<QVCMessageBoxHandler> g_handler;

}  // namespace

CString QVCLoadString(unsigned id) {
  for (const Message& m : kCatalogue) {
    if (m.id == id) return m.text;
  }
  return CString();
}

int AfxMessageBox(const char* text, unsigned type, unsigned /*helpContext*/) {
  QVCMessageBoxHandler handler = g_handler.Get();
  return handler ? handler(text != nullptr ? text : "", type) : IDOK;
}

QVCMessageBoxHandler QVCSetMessageBoxHandler(QVCMessageBoxHandler handler) {
  return g_handler.Set(std::move(handler));
}
