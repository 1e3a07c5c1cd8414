#include "RcpArchiveCalls.h"

#include <dlfcn.h>

#include <string>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/ResultCodes.h"

namespace rcpstore::archivecalls {

namespace {

// The soname the build was linked against, so that the calls' types match.
constexpr char kLibrary[] = "libarchive.so.13";

[[noreturn]] void Missing(const char* what) {
  const char* why = dlerror();
  Fail(std::string("archive support cannot be loaded: ") + (why != nullptr ? why : what), ERROR_NOT_SUPPORTED);
}

Calls Load() {
  // Never unloaded: the calls stay valid for the rest of the process.
  void* library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) Missing(kLibrary);
  Calls calls{};
#define RCP_ARCHIVE_RESOLVE(name)                                          \
  calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(library, #name)); \
  if (calls.name == nullptr) Missing(#name);
  RCP_ARCHIVE_CALLS(RCP_ARCHIVE_RESOLVE)
#undef RCP_ARCHIVE_RESOLVE
  return calls;
}

}  // namespace

const Calls& Archive() {
  static const Calls calls = Load();
  return calls;
}

}  // namespace rcpstore::archivecalls
