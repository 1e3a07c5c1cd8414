// The product revision.
#pragma once

#include <cstdint>

// The revision record; its first three bytes are the major, minor and
// patch numbers of the project's version (revision text "R3.00.00").
struct _QVCRevInfo {
  uint8_t major;
  uint8_t minor;
  uint8_t patch;
  uint8_t reserved;
  char text[16];
};

uint32_t QVCGetRevInfo(_QVCRevInfo* info);
