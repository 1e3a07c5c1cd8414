// What the store's public API marks: the functions and classes its shared
// object exports.
#pragma once

#define RCPSTORE_API __attribute__((visibility("default")))
