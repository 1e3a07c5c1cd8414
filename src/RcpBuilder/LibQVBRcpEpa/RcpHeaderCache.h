// The recipe header read last by a file listing, with the directory text it
// was listed with, so that the unit files listed after it show its title and
// unit texts. Each thread keeps its own, so that listings on several threads
// at once give what each would give alone.
#pragma once

#include "LibQVBRcpEpa.h"

struct RcpHeaderCache {
  CString directory;
  _QVERcpFileDetailInfo record;
};

// This thread's cache, made on first use and destroyed when the thread ends.
RcpHeaderCache& RcpThreadHeaderCache();

// Destroys every thread's cache, for the library's unload. A cache that is
// asked for afterwards is made afresh.
void RcpDestroyHeaderCaches();
