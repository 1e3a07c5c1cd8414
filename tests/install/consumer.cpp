// A program built against the installed library: it prints the system
// template for recipe headers and fails when something it uses is missing.
#include <cstdio>

#include "LibQVBRcpEpa.h"
#include "LibQVCCommon/QVCMessage.h"
#include "QVEEdaClasses.h"
#include "libqveeda/QVEFilePath.h"

int main() {
  // The library's frame has put the message catalogue on the chain.
  if (QVCLoadString(QVC_MSG_LOCKED_BY).empty()) return 1;
  CQVEFilePath resolver;
  resolver.InitNoProject();
  CString path;
  if (resolver.GetTmplRcpPath("QVSystem", "RCPHEAD", &path) != 0) return 2;
  CQVEEdaUIntArray numbers;
  numbers.Insert(7);
  if (numbers.Insert(3) != 1 || numbers[0] != 3) return 3;
  std::printf("%s\n", path.c_str());
  return 0;
}
