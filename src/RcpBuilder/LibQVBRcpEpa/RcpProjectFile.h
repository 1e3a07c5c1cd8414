// A project directory's attribute file, read without its registration.
#pragma once

#include "LibQVBRcpEpa.h"

namespace rcpproject {

// Reads Recipe/RcpPJTAttr.txt of the project directory into info (its path
// is left as it is): 0, or why the file cannot be read.
uint32_t ReadAttributes(const CString& projectDirectory, _QVERcpProjectInfo* info);

}  // namespace rcpproject
