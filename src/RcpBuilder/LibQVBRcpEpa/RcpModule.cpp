// The library's start and end in its host. When it is loaded it joins the
// process's module chain together with the family's message catalogue, so
// that the messages it shows by number are found; when it is unloaded it
// leaves the chain and destroys the file listings' header caches.
#include "LibQVCCommon/QVCMessage.h"
#include "QVModule.h"
#include "RcpHeaderCache.h"

namespace {

QVModule g_library = {"LibQVBRcpEpa", nullptr, 0, nullptr, 0};

struct ModuleFrame {
  ModuleFrame() {
    QVJoinModuleChain(QVCMessageModule());
    QVJoinModuleChain(&g_library);
  }
  ~ModuleFrame() {
    QVLeaveModuleChain(&g_library);
    QVLeaveModuleChain(QVCMessageModule());
    RcpDestroyHeaderCaches();
  }
};

ModuleFrame g_frame;

}  // namespace

// Named on the link line of every program that links the static library, so
// that the frame is linked in although nothing calls it.
extern "C" void QVBRcpEpaModuleFrame() {}
