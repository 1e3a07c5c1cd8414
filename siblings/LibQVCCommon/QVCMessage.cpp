#include "LibQVCCommon/QVCMessage.h"

#include <iterator>

#include "LibQVCCommon/QVCObserver.h"
#include "QVModule.h"

namespace {

constexpr QVStringResource kCatalogue[] = {
    {QVC_MSG_PROJECT_NOT_FOUND, "The project cannot be found on this station (error 0x%08X). "},
    {QVC_MSG_LOCKED_BY, "%s is locked; its lock file claims station %s (holder %d)."},
    {16720, "Recipe operators: may run and read recipes"},
    {16721, "Recipe engineers: may also create and edit recipes"},
    {16722, "Recipe maintainers: may also delete recipes"},
    {16723, "Recipe approvers: may also approve recipes"},
    {16724, "Recipe downloaders: may also download recipes"},
};

QVModule g_catalogue = {"QVCMessages", kCatalogue, std::size(kCatalogue), nullptr, 0};

QVCObserverSlot<QVCMessageBoxHandler> g_handler;

}  // namespace

QVModule* QVCMessageModule() { return &g_catalogue; }

CString QVCLoadString(unsigned id) {
  CString text;
  QVFindModuleString(id, &text);
  return text;
}

int AfxMessageBox(const char* text, unsigned type, unsigned /*helpContext*/) {
  QVCMessageBoxHandler handler = g_handler.Get();
  return handler ? handler(text != nullptr ? text : "", type) : IDOK;
}

QVCMessageBoxHandler QVCSetMessageBoxHandler(QVCMessageBoxHandler handler) {
  return g_handler.Set(std::move(handler));
}
