// The library's module frame as a host sees it: the host has a module chain
// of its own and loads and unloads the shared object.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "LibQVCCommon/QVCMessage.h"
#include "QVModule.h"

namespace {

void* Load(int mode) { return dlopen(QVBRCPEPA_SHARED_OBJECT, RTLD_NOW | RTLD_LOCAL | mode); }

bool HasLockMessage() { return QVCLoadString(QVC_MSG_LOCKED_BY).find("its lock file claims") != CString::npos; }

TEST(ModuleFrameTest, TheLoadedLibraryFindsTheCatalogueOnTheHostsChainUntilUnloaded) {
  ASSERT_TRUE(QVModuleChainNames().empty()) << "the host itself carries no texts";
  EXPECT_FALSE(HasLockMessage());

  void* library = Load(0);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_EQ(QVModuleChainNames(), (CStringArray{"LibQVBRcpEpa", "QVCMessages"}));
  EXPECT_TRUE(HasLockMessage());
  std::thread other([] { EXPECT_TRUE(HasLockMessage()) << "the chain is the process's, not a thread's"; });
  other.join();

  // A second load of the same object starts no second frame.
  void* again = Load(0);
  ASSERT_EQ(again, library);
  ASSERT_EQ(dlclose(again), 0);
  EXPECT_EQ(QVModuleChainNames().size(), 2u);

  ASSERT_EQ(dlclose(library), 0);
  EXPECT_EQ(Load(RTLD_NOLOAD), nullptr) << "the object is really unloaded";
  EXPECT_TRUE(QVModuleChainNames().empty());
  EXPECT_FALSE(HasLockMessage());

  // Loaded anew, it joins again.
  library = Load(0);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_TRUE(HasLockMessage());
  ASSERT_EQ(dlclose(library), 0);
  EXPECT_FALSE(HasLockMessage());
}

}  // namespace
