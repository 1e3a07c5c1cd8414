// Result codes of the family's common layer: the store's result codes.
#pragma once

#include "LibQVBRcpEpa/ResultCodes.h"
