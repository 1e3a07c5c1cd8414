// The engineering path resolver: full paths for path keys. Template sets
// belong to owners: "QVSystem" is installed with the library, "QVUser" lives
// in the station directory (templates/QVUser).
#pragma once

#include <cstdint>

#include "QVFramework.h"

class CQVEFilePath {
 public:
  CQVEFilePath();
  virtual ~CQVEFilePath();

  // Prepares the resolver for template look-ups without an open project.
  uint32_t InitNoProject();
  // The path of an owner's template file for a key: the key's own file name,
  // or fileName when it is given. 0x2000010a for an unknown key or owner.
  uint32_t GetUDFTmplFilePath(const char* key, const char* fileName, const char* owner, CString* path);

  CString m_strProjectTopDir;

 private:
  bool prepared_ = false;
};

// The directory that holds the system template set's owner folders:
// $QVC_TEMPLATE_DIR, else share/qv-templates beside the program's directory,
// else the build's own template directory.
CString QVETemplateRoot();
