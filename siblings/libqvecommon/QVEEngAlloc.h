// The family's tracked allocator: blocks that the family releases (the user
// blocks of tree nodes, for one) are allocated here and released with
// __QVEEngFree.
#pragma once

#include <cstddef>

void* __QVEEngAlloc(size_t size, const char* source, int line);
void __QVEEngFree(void* block, const char* source, int line);

// Blocks allocated and not yet released in this process.
size_t QVEEngLiveBlocks();
