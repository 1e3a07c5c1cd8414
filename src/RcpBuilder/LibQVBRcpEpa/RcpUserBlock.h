// The caller's data blocks of tree nodes and file entries compare alike.
#pragma once

#include <cstdint>
#include <cstring>

namespace rcpblock {

// Both absent: equal; one absent: unequal; both present: equal sizes and bytes.
inline bool Same(const uint8_t* a, uint32_t sizeA, const uint8_t* b, uint32_t sizeB) {
  if (a == nullptr || b == nullptr) return a == b;
  return sizeA == sizeB && std::memcmp(a, b, sizeA) == 0;
}

}  // namespace rcpblock
