// The recipe store: the in-memory recipe tree and the operations on the
// recipe database kept in a project directory.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>

#include "LibQVBRcpEpa/Win32Types.h"
#include "LibQVCCommon/QVCCodes.h"
#include "QVFramework.h"

// Node kinds.
constexpr int32_t QVERCP_KIND_NONE = 0;
constexpr int32_t QVERCP_KIND_PROJECT = 1;
constexpr int32_t QVERCP_KIND_GROUP = 2;
constexpr int32_t QVERCP_KIND_SUBGROUP = 3;
constexpr int32_t QVERCP_KIND_RECIPE = 4;

// One node of the recipe tree: a project, a recipe group, a sub-group or a
// recipe. A node owns its children and its user block.
class QV_EXPORT CQVERcpDirInfo : public CObject {
 public:
  using ChildList = std::list<std::unique_ptr<CQVERcpDirInfo>>;

  CQVERcpDirInfo();
  // Deep copy: the data of CopyData and copies of the whole subtree.
  CQVERcpDirInfo(const CQVERcpDirInfo& other);
  ~CQVERcpDirInfo() override;

  // Takes the source's data and appends copies of its children after the
  // children this node already has. Returns a copy of this node.
  CQVERcpDirInfo operator=(const CQVERcpDirInfo& other);
  int operator==(const CQVERcpDirInfo& other) const;
  int operator!=(const CQVERcpDirInfo& other) const;

  void CopyData(const CQVERcpDirInfo& other);
  // Takes ownership of child and links it as the last child.
  uint32_t AddChild(CQVERcpDirInfo* child);
  CString GetFullPath() const;
  uint32_t SetFullPath(const char* path);
  uint32_t SetRcpDirInfo(const char* parentPath, const char* name);
  CQVERcpDirInfo* Search(const CQVERcpDirInfo* target);
  CString GetDispName(unsigned mode);

  // Takes a child out of the list without destroying it (nullptr when it is
  // not a child of this node).
  std::unique_ptr<CQVERcpDirInfo> DetachChild(const CQVERcpDirInfo* child);

  int32_t m_nKind = QVERCP_KIND_NONE;
  CString m_strProject;
  int32_t m_nGroupNo = 0;
  int32_t m_nRecipeNo = 0;
  CString m_strParentPath;
  CString m_strName;
  CString m_strSubGroup;
  int32_t m_tCreated = 0;
  CQVERcpDirInfo* m_pParent = nullptr;
  ChildList m_listChild;
  uint32_t m_dwUserData = 0;
  uint32_t m_dwUserParam = 0;
  uint8_t* m_pUserBlock = nullptr;
  uint32_t m_nUserBlockSize = 0;

 private:
  void ReleaseUserBlock();
  void AppendCopiesOf(const ChildList& children);
};

// A project's registration and attributes.
struct _QVERcpProjectInfo {
  CString strPath;
  int32_t nStatus;  // 1 "C", 2 "U"
  CString strComment;
  CString strPjtHost;
  CString strRevision;
  CString strRefPjtDir;
  int32_t nVersionMode;  // non-zero "AUT", 0 "MAN"
};

// A recipe group's attributes.
struct _QVERcpGroupInfo {
  CString strComment;
  CStringArray astrServer;
};

// Number of unit recipes of a recipe (RcpPT01.edf to RcpPT32.edf).
constexpr int QVERCP_UNITS = 32;
constexpr int QVERCP_RECIPE_TABLE = 1000;
constexpr uint32_t QVERCP_FILE_HEADER = 0x2452;  // recipe header file kind
constexpr uint32_t QVERCP_FILE_UNIT = 0x2453;    // unit recipe file kind

// The texts and stamps of a recipe data file's header and records.
struct _QVERcpFileDetailInfo {
  CString strHeadName;
  CString strTitle;
  CString strComment;
  CString strExtra;
  CString strUnitComment[QVERCP_UNITS];
  int32_t tUpdated = 0;
  CString strVersion;  // a recipe header's version, read only: SetRcpHeadVersion raises it
};

// One entry of a file list: a recipe data file, or a tree node shown as an
// entry. Kinds 0xF000 to 0xF003 stand for a recipe, sub-group, group and
// project node.
class QV_EXPORT CQVERcpFileInfo : public CObject {
 public:
  CQVERcpFileInfo();
  CQVERcpFileInfo(const CQVERcpFileInfo& other);
  ~CQVERcpFileInfo() override;
  CQVERcpFileInfo operator=(const CQVERcpFileInfo& other);
  int operator==(const CQVERcpFileInfo& other) const;
  int operator!=(const CQVERcpFileInfo& other) const;

  void CopyData(const CQVERcpFileInfo& other);
  void CopyData(const CQVERcpDirInfo& node);
  CString GetFileName() const;
  CString GetFullPath() const;
  uint32_t SetRcpFileInfo(const char* directory, const char* name, const char* extension,
                          const WIN32_FIND_DATAA* findData);
  CString GetDispName(unsigned mode);

  uint32_t m_nKind = 0;
  int32_t m_nFileType = 0;
  CString m_strProject;
  int32_t m_nGroupNo = 0;
  int32_t m_nRecipeNo = 0;
  CString m_strTitle;
  int32_t m_nUnitNo = 0;
  CString m_strDir;
  CString m_strName;
  CString m_strExt;
  CString m_strComment;
  int32_t m_tModified = 0;
  int32_t m_tCreated = 0;
  uint32_t m_dwUserData = 0;
  CQVERcpDirInfo* m_pDirInfo = nullptr;
  uint32_t m_dwUserParam = 0;
  uint8_t* m_pUserBlock = nullptr;
  uint32_t m_nUserBlockSize = 0;

 private:
  void ReleaseUserBlock();
};

using CQVERcpFileInfoArray = std::vector<std::unique_ptr<CQVERcpFileInfo>>;

// Number of entries of the recipe-group free-number table.
constexpr int QVERCP_GROUP_TABLE = 16;

// Report flags of the operations that talk to the user.
constexpr unsigned QVERCP_REPORT_MSGBUF = 0x1;   // "ERR:" and the message into the message buffer
constexpr unsigned QVERCP_REPORT_MSGBOX = 0x2;   // the message in a message box

// An editing lock on a project or a recipe, held as an open lock file that
// other writers cannot open. Destroying a locked object unlocks it.
class QV_EXPORT CQVERcpLock : public CObject {
 public:
  CQVERcpLock();
  ~CQVERcpLock() override;
  CQVERcpLock(const CQVERcpLock&) = delete;
  CQVERcpLock& operator=(const CQVERcpLock&) = delete;

  uint32_t LockProject(const char* projectName, unsigned flags, CString* message, CString* holder);
  // Locks the project whose directory is given, registered or not; the name
  // identifies the lock in the message and the events.
  uint32_t LockProjectDirectory(const char* projectName, const char* projectDirectory, unsigned flags,
                                CString* message, CString* holder);
  uint32_t LockRecipe(const char* name, unsigned unused1, unsigned unused2, const char* recipeDirectory,
                      unsigned flags, CString* message, CString* holder);
  uint32_t Unlock();

  HANDLE m_hLockFile;
  CString m_strProject;
  CString m_strRecipeDir;
  int m_nLockKind;
  CString m_strLockFile;
};

// The rights of a recipe-security check, one bit each.
constexpr unsigned QVERCP_RIGHT_RUN = 0x01;
constexpr unsigned QVERCP_RIGHT_READ = 0x02;
constexpr unsigned QVERCP_RIGHT_CREATE = 0x04;
constexpr unsigned QVERCP_RIGHT_EDIT = 0x08;
constexpr unsigned QVERCP_RIGHT_DELETE = 0x10;
constexpr unsigned QVERCP_RIGHT_APPROVE = 0x20;
constexpr unsigned QVERCP_RIGHT_DOWNLOAD = 0x40;
// The recipe-security local groups are "RcpSec1" to "RcpSec<this>".
constexpr int QVERCP_SECURITY_GROUPS = 5;

// The station's recipe access rights: each right is a registry key below
// Batch\RecipeSecurity\Default whose access list names the local groups that
// hold it, and a check is the registry's access check of the calling user
// on that key. The value "Enabled" of Batch\RecipeSecurity switches the
// scheme on (1) or off.
class QV_EXPORT CQVERcpSecurity {
 public:
  CQVERcpSecurity();
  ~CQVERcpSecurity();
  CQVERcpSecurity(const CQVERcpSecurity& other) = default;
  CQVERcpSecurity& operator=(const CQVERcpSecurity& other) = default;

  // 1 switches security on (building the right keys and the groups the
  // first time), 0 off. 1 on success, 0 on failure.
  int SetSecurity(unsigned value);
  // 1 when the calling user holds every right of the mask (or security is
  // off or not set up), else 0.
  int CheckSecurity(unsigned rights);
  // 1 when security is switched on.
  int GetSecurityInfo();

  SECURITY_ATTRIBUTES m_sa;
  SECURITY_DESCRIPTOR m_sd;
  alignas(8) BYTE m_aclBuffer[1024];
  PACL m_pAcl;
  alignas(8) BYTE m_sidBuffer[100];
  PSID m_pSid;
  char m_szDomain[80];
  SID_NAME_USE m_sidUse;
  DWORD m_cbSid;
  DWORD m_cchDomain;
  WCHAR m_wszGroupName[41];
  WCHAR m_wszGroupComment[81];

 private:
  uint32_t CreateRegKey(const char* account, unsigned long access, HKEY root, unsigned component,
                        const char* section, const char* subKey, HKEY* key);
  uint32_t AddAccessCtl(HKEY key, const char* account, unsigned long access);
  uint32_t CreateRegistryInternal(HKEY root, const char* product, const char* component, const char* section,
                                  const char* subKey, unsigned long access, SECURITY_ATTRIBUTES* attributes,
                                  HKEY* key);
  uint32_t SetSecDefault();
  uint32_t CheckGrpName(const char* name);
  // SetSecurity's switch itself, which SetSecurity records in the audit trail.
  int SwitchSecurity(unsigned value);

  friend struct CQVERcpSecurityProbe;  // the tests' way to the private steps
};

// The static operations on the recipe store.
class QV_EXPORT CQVERcpUtil {
 public:
  CQVERcpUtil() = delete;

  // Tree scan.
  static uint32_t GetDirectoryList(CQVERcpDirInfo* node, int recursive, int readSubGroups);
  static uint32_t GetDirectoryListUpperRcpGroup(CQVERcpDirInfo* node, int recursive, int readSubGroups);
  static uint32_t GetDirectoryListUnderSubGroup(CQVERcpDirInfo* node, int recursive, int unused);
  static CQVERcpDirInfo* FindSubGroup(CQVERcpDirInfo* root, const CString& subGroupPath);

  // Open and access checks.
  static uint32_t CheckFile(const char* path, unsigned long access, unsigned long shareMode);
  static uint32_t CheckDirFile(const char* path, unsigned long access, unsigned long shareMode);
  static uint32_t DirAccessCheck(const char* directory);
  static uint32_t FileAccessCheck(const char* file);

  // Projects.
  static uint32_t SetProjectInfo(const char* projectName, const _QVERcpProjectInfo* info, int writeFile);
  static uint32_t GetProjectInfo(const char* projectName, _QVERcpProjectInfo* info);
  static uint32_t DeleteProjectInfo(const char* projectName);
  static uint32_t GetProjectList(CStringArray& projects);
  static uint32_t CreateProject(const char* name, const char* parentDirectory);
  static uint32_t DeleteProject(const char* projectDirectory);

  // Recipe groups.
  static uint32_t FindFreeRcpGroupNo(const char* projectDirectory, int32_t* table);
  static uint32_t CheckRcpGroupDuplicate(const char* projectDirectory, unsigned groupNo);
  static uint32_t CreateRecipeGroup(const char* projectDirectory, unsigned groupNo);
  static uint32_t DeleteRecipeGroup(const char* groupDirectory);
  static uint32_t GetRecipeGroupInfo(const char* groupDirectory, _QVERcpGroupInfo* info);
  static uint32_t SetRecipeGroupInfo(const char* groupDirectory, const _QVERcpGroupInfo* info);

  // Recipe header records.
  static uint32_t SetRcpFileInfo(const char* path, const _QVERcpFileDetailInfo* info);
  static uint32_t GetRcpFileInfo(const char* path, uint32_t* kind, _QVERcpFileDetailInfo* info);
  static uint32_t SetRcpInfo(const char* recipeDirectory, const _QVERcpFileDetailInfo* info);
  static uint32_t GetRcpInfo(const char* recipeDirectory, uint32_t* recipeNo, _QVERcpFileDetailInfo* info);
  static uint32_t SetRcpHeadVersion(const char* path);
  // Reads a recipe's texts, lets change edit them and writes them back, all
  // under one hold of the header's work file.
  static uint32_t ChangeRcpInfo(const char* recipeDirectory, const std::function<void(_QVERcpFileDetailInfo*)>& change);

  // Recipes and unit recipes.
  static uint32_t FindFreeRcpNo(const char* groupDirectory, int32_t* table);
  static uint32_t CheckRcpDuplicate(const char* groupDirectory, unsigned recipeNo);
  static uint32_t CreateRecipe(const char* headName, const char* groupDirectory, unsigned recipeNo,
                               const char* templateFile);
  static uint32_t DeleteRecipe(const char* recipeDirectory);
  // Copies every data file of a recipe to recipe recipeNo of a group, stamped
  // as a new recipe of this user; it appears complete or not at all.
  static uint32_t CopyRecipe(const char* recipeDirectory, const char* groupDirectory, unsigned recipeNo);
  // Moves a recipe, nothing in it open, to recipe recipeNo of a group as it is.
  static uint32_t MoveRecipe(const char* recipeDirectory, const char* groupDirectory, unsigned recipeNo);
  static uint32_t FindFreeUnitNo(const char* recipeDirectory, int32_t* table);
  static uint32_t CheckUnitDuplicate(const char* recipeDirectory, unsigned unitNo);
  static uint32_t CreateUnitRecipe(const char* headName, const char* recipeDirectory, unsigned unitNo,
                                   const char* templateFile);
  static uint32_t DeleteUnitRecipe(const char* recipeDirectory, unsigned unitNo);

  // File listings.
  static uint32_t GetFileList(const CQVERcpDirInfo* node, CQVERcpFileInfoArray& files);
  static uint32_t GetFileList(const char* directory, CQVERcpFileInfoArray& files);
  static uint32_t GetDirListAsFile(const CQVERcpDirInfo* node, CQVERcpFileInfoArray& files);

  // Empties the TEMP directory of every recipe of a project.
  static uint32_t DeleteTempFile(const char* projectName);
  // Finishes or undoes what killed creates and deletes left in one directory
  // of a store: hidden builds and trash, unheld work copies, names left
  // aside by an in-use check. Callers run it while they hold the lock that
  // covers the directory.
  static uint32_t CleanLeftovers(const char* directory);

  // Sub-group file.
  static uint32_t ReadSubGroupFile(const char* groupDirectory, CQVERcpDirInfo* groupNode);
  static uint32_t InsertSubGroup(const char* groupDirectory, const CStringArray& path);
  static uint32_t DeleteSubGroup(const char* groupDirectory, const CStringArray& path);
  static uint32_t RenameSubGroup(const char* groupDirectory, const char* newName, const CStringArray& path);
  static uint32_t InsertItemToSubGroup(const char* groupDirectory, const CStringArray& path,
                                       const CQVERcpDirInfo* item);
  static uint32_t DeleteItemFromSubGroup(const char* groupDirectory, const CStringArray& path,
                                         const CQVERcpDirInfo* item);
  // Places the named recipes in the sub-group path (an empty path: the
  // group's top level), wherever they were, in one rewrite of the file.
  static uint32_t MoveItemsToSubGroup(const char* groupDirectory, const CStringArray& path,
                                      const CStringArray& items);
};
