#include "RcpHeaderCache.h"

#include <pthread.h>

namespace {

// Every thread's cache on one list, so that unloading the library can destroy
// them all. Nothing here has a destructor of its own: a thread-local object
// with one would keep a loaded library from ever being unloaded.
struct CacheNode {
  RcpHeaderCache cache;
  CacheNode* prev = nullptr;
  CacheNode* next = nullptr;
};

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_key_t g_key;
bool g_keyMade = false;
CacheNode* g_first = nullptr;

void Unlink(CacheNode* node) {
  (node->prev != nullptr ? node->prev->next : g_first) = node->next;
  if (node->next != nullptr) node->next->prev = node->prev;
}

// The key's destructor: a thread ends.
void ForgetThreadCache(void* value) {
  auto* node = static_cast<CacheNode*>(value);
  pthread_mutex_lock(&g_lock);
  Unlink(node);
  pthread_mutex_unlock(&g_lock);
  delete node;
}

}  // namespace

RcpHeaderCache& RcpThreadHeaderCache() {
  pthread_mutex_lock(&g_lock);
  if (!g_keyMade) g_keyMade = pthread_key_create(&g_key, ForgetThreadCache) == 0;
  auto* node = static_cast<CacheNode*>(pthread_getspecific(g_key));
  if (node == nullptr) {
    node = new CacheNode;
    node->next = g_first;
    if (g_first != nullptr) g_first->prev = node;
    g_first = node;
    pthread_setspecific(g_key, node);
  }
  pthread_mutex_unlock(&g_lock);
  return node->cache;
}

void RcpDestroyHeaderCaches() {
  pthread_mutex_lock(&g_lock);
  while (g_first != nullptr) {
    CacheNode* node = g_first;
    Unlink(node);
    delete node;
  }
  if (g_keyMade) pthread_key_delete(g_key);
  g_keyMade = false;
  pthread_mutex_unlock(&g_lock);
}
