// The family's registry services: keys below
// Software\VELMORAN\<product key>\<component>\..., on the local-machine root.
#pragma once

#include <cstdint>

#include "platform/Registry.h"

// Component numbers of the registry component table.
constexpr int QVC_COMPONENT_COMMON = 1;
constexpr int QVC_COMPONENT_ENG = 2;
constexpr int QVC_COMPONENT_HIS = 3;
constexpr int QVC_COMPONENT_NET = 4;
constexpr int QVC_COMPONENT_FCS = 5;
constexpr int QVC_COMPONENT_RCP = 6;

// The registry component table (number and key name); it ends at a row
// with number 0.
struct QVCComponentRow {
  int number;
  const char* name;
};
extern const QVCComponentRow QVC_COMPONENT_TABLE[];

// The product table: each product's name and the registry key name under
// which it keeps its settings; it ends at a row whose name is null.
struct QVCProductRow {
  const char* name;
  const char* key;
};
extern const QVCProductRow QVC_PRODUCT_TABLE[];

// Opens root\Software\VELMORAN\<product>\<component>\section[\subKey] with
// the most access the caller has to it (failing when it has none); with
// create 1 the missing keys are created first. 0x2000010a for an unknown
// component, 0x2000010d when the caller may not create a key, otherwise the
// platform's code (a full disk, a damaged registry file, ...).
uint32_t QVCOpenRegistry(HKEY root, int component, const char* section, const char* subKey, int create, HKEY* key);
uint32_t QVCCloseRegistry(HKEY key);

// A 32-bit value; the default when the value is missing.
uint32_t QVCGetRegistryU32(HKEY key, const char* name, uint32_t defaultValue, uint32_t* value);
uint32_t QVCSetRegistryU32(HKEY key, const char* name, uint32_t value, int create);

// A string value of the key <component>\keyPath into buf; size is the
// buffer's size in, the text's size with its terminating NUL out. The default
// text when the value is missing; the platform's code when the key is.
uint32_t QVCGetCommonRegistryString(HKEY root, int component, const char* keyPath, const char* valueName,
                                    const char* defaultText, char* buf, uint32_t* size);
// Writes a string value; with create 1 the missing keys of the path and the
// value are written in one transaction, so that no key is left without it.
uint32_t QVCSetCommonRegistryString(HKEY root, int component, const char* keyPath, const char* valueName,
                                    const char* text, int create);

// The installed product's name (at most size-1 characters).
uint32_t QVCGetProductName(char* buf, uint32_t size);
// The registry key name of a product (its name compared without regard to
// case), or null for an unknown product.
const char* QVCProductKeyName(const char* productName);
