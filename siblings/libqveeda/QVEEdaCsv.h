// Comma-separated lines of the engineering files.
//
// An item that holds a comma, a quote, a line break, or blanks at either end
// (or that is the only item and empty) is written in quotes, with each quote
// doubled; every other item is written as it is. The parser gives back
// exactly the items that the merge was given.
#pragma once

#include <cstdint>

#include "QVFramework.h"

// Splits one line (without its line feed) into items, replacing the array's
// contents. An empty line has no item. A quoted item that is not closed is a
// failure (0x2000010a) and leaves the array empty.
uint32_t QVEEdaCsvParseLine(const char* line, CStringArray& items);

// Joins items into one line. Always 0.
uint32_t QVEEdaCsvMargeItem(const CStringArray& items, CString& line);
