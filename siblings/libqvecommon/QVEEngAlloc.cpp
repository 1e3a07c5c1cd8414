#include "libqvecommon/QVEEngAlloc.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<size_t> g_live{0};

}  // namespace

void* __QVEEngAlloc(size_t size, const char* /*source*/, int /*line*/) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) g_live.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void __QVEEngFree(void* block, const char* /*source*/, int /*line*/) {
  if (block == nullptr) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

size_t QVEEngLiveBlocks() { return g_live.load(std::memory_order_relaxed); }
