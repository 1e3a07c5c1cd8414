// The engineering path resolver: full paths for path keys. Every key has one
// rule in the key table (QVEFilePathKeys.cpp): where its file or folder lies
// inside the template tree, the project tree or a station's folder of the
// project; docs/paths.md describes the table. Template sets belong to owners:
// "QVSystem" is installed with the library, "QVUser" lives in the station
// directory (templates/QVUser).
#pragma once

#include <cstdint>

#include "QVEFilePathMembers.h"
#include "QVFramework.h"

// A key the table does not know, or one that names no path of the kind asked
// for (a station file's key given for a project file, a folder key given for
// a file without a file name).
constexpr uint32_t QVEEDA_ERR_UNKNOWN_KEY = 0x20300001;
// A project path asked of a resolver prepared without a project.
constexpr uint32_t QVEEDA_ERR_NO_PROJECT = 0x20300002;

// Whether a look-up asks for a folder, a file, or whichever the key names.
enum class QVEPathWant : int;

class QV_EXPORT CQVEFilePath {
 public:
  CQVEFilePath();
  virtual ~CQVEFilePath();

  // Prepares the resolver for an engineering project: its top directory,
  // which must be a directory (ERROR_PATH_NOT_FOUND otherwise).
  uint32_t Init(const char* projectTopDir);
  // Prepares the resolver for template look-ups without an open project.
  uint32_t InitNoProject();

  // The core operations. Each gives 0 and the full path, or a failure code
  // and leaves the path alone: 0x2000010a for an unprepared resolver, a
  // missing argument or a number a numbered key cannot take,
  // QVEEDA_ERR_UNKNOWN_KEY, QVEEDA_ERR_NO_PROJECT, ERROR_INVALID_NAME for a
  // station or file name that is not one plain name.
  //
  // A template file of the system set: the key's file, or name in its folder.
  virtual uint32_t GetTmplFilePath(const char* key, const char* name, CString* path);
  // An owner's template folder.
  virtual uint32_t GetUDFTmplFolderPath(const char* key, const char* owner, CString* path);
  // An owner's template file: the key's own file name, or fileName in the
  // key's folder. 0x2000010a for an owner other than QVSystem and QVUser.
  virtual uint32_t GetUDFTmplFilePath(const char* key, const char* fileName, const char* owner, CString* path);
  // The same for a numbered key, the number placed in its file name.
  virtual uint32_t GetUDFTmplFilePath1(unsigned number, const char* key, const char* fileName, const char* owner,
                                       CString* path);
  // A file or folder of the project.
  virtual uint32_t GetSystemFilePath(const char* key, CString* path);
  virtual uint32_t GetSystemFolderPath(const char* key, CString* path);
  // A file of a station's folder: the key's file, or fileName in its folder.
  virtual uint32_t GetFCSFilePath(const char* station, const char* key, CString* path);
  virtual uint32_t GetFCSFilePath(const char* station, const char* fileName, const char* key, CString* path);
  virtual uint32_t GetHISFilePath(const char* station, const char* key, CString* path);
  virtual uint32_t GetSTNFolderPath(const char* station, const char* folderKey, CString* path);
  virtual uint32_t GetSTNFilePath(const char* station, const char* folderKey, const char* fileName, CString* path);
  // The general form: a station's path (or the project's when station is
  // null), the first number placed where the key's rule has one (the other
  // two take part in no rule), fileName in place of the key's file.
  virtual uint32_t GetPath(const char* station, unsigned number1, unsigned number2, unsigned number3, const char* key,
                           const char* fileName, CString* path);

  // The catalogue: one member per kind of engineering file or folder.
  QVE_PATH_CATALOGUE_MEMBERS

  CString GetProjectTopDir() { return m_strProjectTopDir; }

  CString m_strProjectTopDir;

 protected:
  // A station's number: the last two digits of its name ("FCS0102" is 2),
  // 1 to 64. On failure (0x2000010a) the number is 0, which no numbered key
  // takes, so a member that passes it on fails instead of naming a wrong file.
  virtual uint32_t GetStnNo(const char* station, uint8_t& number);

 private:
  uint32_t TemplatePath(unsigned number, const char* key, const char* fileName, const char* owner, QVEPathWant want,
                        CString* path) const;
  uint32_t ProjectPath(const char* station, unsigned number, const char* key, const char* fileName, QVEPathWant want,
                       CString* path) const;

  bool prepared_ = false;
};

// The directory that holds the system template set's owner folders:
// $QVC_TEMPLATE_DIR, else share/qv-templates beside the program's directory,
// else the build's own template directory.
QV_EXPORT CString QVETemplateRoot();
