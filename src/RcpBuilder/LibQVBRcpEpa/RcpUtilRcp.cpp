// Recipes and unit recipes (numbered directories and files made from
// templates) and the header records of their data files.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LibQVBRcpEpa.h"
#include "RcpAudit.h"
#include "RcpCheck.h"
#include "RcpHidden.h"
#include "RcpRecipeHead.h"
#include "RcpStorePath.h"
#include "LibQVCCommon/QVCError.h"
#include "LibQVCCommon/QVCRevision.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngFile.h"
#include "libqvecommon/QVEEngMsgBuf.h"
#include "libqvecommon/QVEEngPath.h"
#include "libqvecommon/QVEEngText.h"
#include "libqveeda/QVEEdaFile.h"
#include "libqveeda/QVEFilePath.h"
#include "platform/Host.h"
#include "platform/UserTemplate.h"

namespace {

constexpr char kSource[] = "RcpUtilRcp";
constexpr uint16_t kMsgInternal = 9168;
constexpr char kHeadFile[] = "RcpHead.edf";

using namespace rcprecipe;  // the fields of the header records
constexpr int32_t kMaxVersion = 100000000;

// The records of a recipe header file that its texts live in.
struct HeadRecords {
  uint8_t* main = nullptr;
  std::array<uint8_t*, QVERCP_UNITS> units{};
};

// One EDF file open for the length of an operation. Nothing is written
// back unless Commit is called. Every record an operation uses is resolved
// and size-checked before its first write.
class EdfFile {
 public:
  uint32_t Open(const CString& path, bool writable) {
    return map_.Open(path.c_str(), writable ? QVEEDA_MODE_READWRITE : QVEEDA_MODE_READ, &header_, writable ? 1 : 0);
  }
  // A file's bytes already read, for reading only.
  uint32_t OpenImage(const std::string& image) {
    return map_.OpenImage(std::vector<uint8_t>(image.begin(), image.end()), &header_);
  }
  uint8_t* Head() { return header_->bytes; }
  uint32_t Kind() { return QVEEdaGetU32(Head(), QVEEDA_OFF_KIND); }
  bool IsRecipeHeader() { return Kind() == QVERCP_FILE_HEADER; }
  // A record that holds at least minSize bytes, or null: a record that was
  // not found is never read or written.
  uint8_t* Record(const char* name, uint32_t index, uint32_t minSize) {
    void* record = nullptr;
    uint32_t size = 0;
    if (QVEEdaEdtFindData(header_, name, index, &record, &size) != 0 || size < minSize) return nullptr;
    return static_cast<uint8_t*>(record);
  }
  uint8_t* Main() { return Record("MRCB", 0, kMainRecordSize); }
  // The main record and every unit record, or false when any is missing.
  bool Resolve(HeadRecords* records) {
    records->main = Main();
    if (records->main == nullptr) return false;
    for (int i = 0; i < QVERCP_UNITS; ++i) {
      records->units[i] = Record("URCB", static_cast<uint32_t>(i), kUnitRecordSize);
      if (records->units[i] == nullptr) return false;
    }
    return true;
  }
  uint32_t Commit() { return map_.Close(); }
  // Writes the image, changed or not, durably as a new file at path; the
  // file it was read from stays as it was.
  uint32_t WriteAs(const CString& path) {
    QVEEngTextWriter out;
    if (uint32_t rc = out.Create(path + ".new")) return rc;
    if (uint32_t rc = out.WriteBinary(reinterpret_cast<const char*>(Head()), map_.GetFileSize())) return rc;
    return out.Commit(path);
  }

 private:
  CQVEEdaFileMap map_;
  _QVEEdtFileHeader* header_ = nullptr;
};

void StampTimes(uint8_t* head, int32_t now) {
  QVEEdaPutU32(head, QVEEDA_OFF_WRITTEN, static_cast<uint32_t>(now));
  QVEEdaPutU32(head, QVEEDA_OFF_UPDATED, static_cast<uint32_t>(now));
}

void StampRevision(uint8_t* head) {
  _QVCRevInfo revision;
  if (QVCGetRevInfo(&revision) != 0) return;
  head[QVEEDA_OFF_REVISION + 2] = revision.major;
  head[QVEEDA_OFF_REVISION + 1] = revision.minor;
  head[QVEEDA_OFF_REVISION] = revision.patch;
}

int32_t NextVersion(const CString& text) {
  if (text.size() >= 9) return 1;
  long long next = std::strtoll(text.c_str(), nullptr, 10) + 1;
  return next >= 1 && next <= kMaxVersion ? static_cast<int32_t>(next) : 1;
}

// Opens a data file and, for a recipe header file, resolves all its
// records; one that lacks any is refused (ERROR_FILE_CORRUPT).
uint32_t OpenTexts(EdfFile& file, const CString& path, bool writable, HeadRecords* records) {
  if (uint32_t rc = file.Open(path, writable)) return rc;
  return file.IsRecipeHeader() && !file.Resolve(records) ? ERROR_FILE_CORRUPT : 0;
}

void ReadTexts(EdfFile& file, const HeadRecords& records, _QVERcpFileDetailInfo* info) {
  info->tUpdated = static_cast<int32_t>(QVEEdaGetU32(file.Head(), QVEEDA_OFF_UPDATED));
  info->strHeadName = QVEEdaGetText(file.Head(), QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH);
  if (!file.IsRecipeHeader()) return;
  info->strTitle = QVEEdaGetText(records.main, kTitle, kTitleWidth);
  info->strComment = QVEEdaGetText(records.main, kComment, kCommentWidth);
  info->strVersion = QVEEdaGetText(records.main, kVersion, kVersionWidth);
  for (int i = 0; i < QVERCP_UNITS; ++i) {
    info->strUnitComment[i] = QVEEdaGetText(records.units[i], kUnitText, kUnitTextWidth);
  }
}

// An empty header name or title leaves the old one.
void WriteTexts(EdfFile& file, const HeadRecords& records, const _QVERcpFileDetailInfo& info) {
  uint8_t* head = file.Head();
  if (!info.strHeadName.empty()) QVEEdaPutText(head, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH, info.strHeadName);
  StampTimes(head, QVCTime(nullptr));
  StampRevision(head);
  if (!file.IsRecipeHeader()) return;
  if (!info.strTitle.empty()) QVEEdaPutText(records.main, kTitle, kTitleWidth, info.strTitle);
  QVEEdaPutText(records.main, kComment, kCommentWidth, info.strComment);
  for (int i = 0; i < QVERCP_UNITS; ++i) {
    QVEEdaPutText(records.units[i], kUnitText, kUnitTextWidth, info.strUnitComment[i]);
  }
}

// Stamps a new recipe's header: name, times, author and revision; the texts
// keep the template's values. The header read from source is written to
// path, in place when they are one file (a copied recipe's), else as a new
// file in one write. A version, when given, replaces the copied one.
uint32_t InitRecipeHead(const CString& source, const CString& path, const char* headName,
                        const CString* version = nullptr) {
  EdfFile file;
  const bool inPlace = source == path;
  if (uint32_t rc = file.Open(source, inPlace)) return rc;
  uint8_t* main = file.Main();
  if (main == nullptr) return ERROR_FILE_CORRUPT;
  if (version != nullptr) QVEEdaPutText(main, kVersion, kVersionWidth, *version);
  QVEEdaPutText(file.Head(), QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH, headName != nullptr ? headName : "");
  int32_t now = QVCTime(nullptr);
  StampTimes(file.Head(), now);
  QVEEdaPutU32(main, kCreated, static_cast<uint32_t>(now));
  QVEEdaPutU32(main, kVersionTime, static_cast<uint32_t>(now));
  char user[64] = {};
  DWORD size = sizeof user;
  if (GetUserNameA(user, &size)) QVEEdaPutText(main, kAuthor, kAuthorWidth, user);
  StampRevision(file.Head());
  return inPlace ? file.Commit() : file.WriteAs(path);
}

// Writes bytes as the file at path, in one step.
uint32_t WriteWhole(const CString& path, const std::string& bytes) {
  QVEEngTextWriter out;
  if (uint32_t rc = out.Create(path + ".new")) return rc;
  if (uint32_t rc = out.WriteBinary(bytes.data(), bytes.size())) return rc;
  return out.Commit(path);
}

CString LastPart(const CString& path) { return path.substr(path.find_last_of('/') + 1); }

// The template for a key, as a file to read (*source): the user's when the
// key allows it and the station's administrators put one in the user
// template set, put at path, otherwise the system's own file. A user
// template that someone else could have put there is never used, and the
// caller is told so.
uint32_t TemplateToRead(const char* key, bool userFirst, const CString& path, CString* source) {
  CQVEFilePath resolver;
  resolver.InitNoProject();
  CString chosen;
  if (userFirst) {
    resolver.GetUDFTmplFilePath(key, nullptr, "QVUser", &chosen);
    std::string bytes;
    std::string why;
    uint32_t rc = qvplatform::ReadUserTemplate(LastPart(chosen), &bytes, &why);
    if (rc == 0) {
      *source = path;
      return WriteWhole(path, bytes);
    }
    if (rc == ERROR_ACCESS_DENIED) QVEEngPutMsgBuf(("user template not used, the system's is: " + why).c_str());
  }
  resolver.GetUDFTmplFilePath(key, nullptr, "QVSystem", source);
  return 0;
}

// Puts the template for a key (see TemplateToRead) at path.
uint32_t PlaceTemplate(const char* key, bool userFirst, const CString& path) {
  CString source;
  if (uint32_t rc = TemplateToRead(key, userFirst, path, &source)) return rc;
  return source == path ? 0 : QVEEngCopyFile(source.c_str(), path.c_str(), 1, 1);
}

CString UnitFileName(unsigned unitNo) { return unitNo == 0 ? CString("RcpRP.edf") : QVFormat("RcpPT%02u.edf", unitNo); }

}  // namespace

// The recipe template is put beside the copy, under a hidden name in its
// build, for the version it gives a new recipe.
uint32_t rcprecipe::StampCopiedHead(const CString& path, const char* headName) {
  CString placed = path.substr(0, path.size() - LastPart(path).size()) + ".RcpHead.template";
  CString version;
  {
    EdfFile recipeTemplate;
    uint32_t rc = PlaceTemplate("RCPHEAD", true, placed);
    if (rc == 0) rc = recipeTemplate.Open(placed, false);
    uint8_t* main = rc == 0 ? recipeTemplate.Main() : nullptr;
    if (main != nullptr) version = QVEEdaGetText(main, kVersion, kVersionWidth);
    if (rc != 0) return rc;
    if (main == nullptr) return ERROR_FILE_CORRUPT;
  }
  // The copy never keeps the template: one that cannot be removed fails the build.
  if (uint32_t rc = QVEEngDeleteFile(placed.c_str(), 0, 0)) return rc;
  return InitRecipeHead(path, path, headName, &version);
}

// A recipe header file must hold its main record and all 32 unit records;
// one that lacks any is refused whole (ERROR_FILE_CORRUPT), nothing written.
uint32_t CQVERcpUtil::SetRcpFileInfo(const char* path, const _QVERcpFileDetailInfo* info) {
  return rcpaudit::Recorded("setHeader", path, [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(path)) return rc;
    if (path == nullptr || info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
    EdfFile file;
    HeadRecords records;
    if (uint32_t rc = OpenTexts(file, path, true, &records)) return rc;
    WriteTexts(file, records, *info);
    return file.Commit();
  });
}

CString rcprecipe::HeaderVersionOfImage(const std::string& image) {
  EdfFile file;
  HeadRecords records;
  if (file.OpenImage(image) != 0 || !file.IsRecipeHeader() || !file.Resolve(&records)) return CString();
  _QVERcpFileDetailInfo info;
  ReadTexts(file, records, &info);
  return info.strVersion;
}

uint32_t CQVERcpUtil::GetRcpFileInfo(const char* path, uint32_t* kind, _QVERcpFileDetailInfo* info) {
  if (uint32_t rc = rcppath::Check(path)) return rc;
  if (path == nullptr || info == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  EdfFile file;
  HeadRecords records;
  if (uint32_t rc = OpenTexts(file, path, false, &records)) return rc;
  if (kind != nullptr) *kind = file.Kind();
  ReadTexts(file, records, info);
  return 0;
}

// The read, the change and the write-back happen under one hold of the
// work file, so that a concurrent change of other texts is never lost.
uint32_t CQVERcpUtil::ChangeRcpInfo(const char* recipeDirectory,
                                    const std::function<void(_QVERcpFileDetailInfo*)>& change) {
  return rcpaudit::Recorded("setHeader", QVEEngJoinPath(recipeDirectory, kHeadFile).c_str(), [&]() -> uint32_t {
    if (recipeDirectory == nullptr || !change) return QVC_ERR_CANNOT_EXECUTE;
    EdfFile file;
    HeadRecords records;
    if (uint32_t rc = OpenTexts(file, QVEEngJoinPath(recipeDirectory, kHeadFile), true, &records)) return rc;
    _QVERcpFileDetailInfo info;
    ReadTexts(file, records, &info);
    change(&info);
    WriteTexts(file, records, info);
    return file.Commit();
  });
}

uint32_t CQVERcpUtil::SetRcpInfo(const char* recipeDirectory, const _QVERcpFileDetailInfo* info) {
  return SetRcpFileInfo(QVEEngJoinPath(recipeDirectory, kHeadFile).c_str(), info);
}

uint32_t CQVERcpUtil::GetRcpInfo(const char* recipeDirectory, uint32_t* recipeNo, _QVERcpFileDetailInfo* info) {
  if (recipeNo == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  if (uint32_t rc = GetRcpFileInfo(QVEEngJoinPath(recipeDirectory, kHeadFile).c_str(), nullptr, info)) return rc;
  CString text = recipeDirectory != nullptr ? recipeDirectory : "";
  CString last = text.size() > 4 ? text.substr(text.size() - 4) : text;
  *recipeNo = static_cast<uint32_t>(std::strtol(last.c_str(), nullptr, 10));
  return 0;
}

uint32_t CQVERcpUtil::SetRcpHeadVersion(const char* path) {
  return rcpaudit::Recorded("bumpVersion", path, [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(path)) return rc;
    if (path == nullptr) return QVC_ERR_CANNOT_EXECUTE;
    EdfFile file;
    if (uint32_t rc = file.Open(path, true)) return rc;
    if (!file.IsRecipeHeader()) return 0;
    HeadRecords records;
    if (!file.Resolve(&records)) return ERROR_FILE_CORRUPT;
    int32_t next = NextVersion(QVEEdaGetText(records.main, kVersion, kVersionWidth));
    QVEEdaPutText(records.main, kVersion, kVersionWidth, std::to_string(next));
    QVEEdaPutU32(records.main, kVersionTime, static_cast<uint32_t>(QVCTime(nullptr)));
    return file.Commit();
  });
}

// Recipes numbered outside the table (RCP0000, RCP1001 and up) have no entry.
uint32_t CQVERcpUtil::FindFreeRcpNo(const char* groupDirectory, int32_t* table) {
  if (table == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  for (int i = 0; i < QVERCP_RECIPE_TABLE; ++i) table[i] = 1;
  if (uint32_t rc = rcppath::Check(groupDirectory)) return rc;
  rcphidden::CleanLeftovers(groupDirectory);
  CQVERcpDirInfo group;
  group.m_nKind = QVERCP_KIND_GROUP;
  if (uint32_t rc = QVEEngSplitFilePath(groupDirectory, 1, group.m_strParentPath, group.m_strName)) return rc;
  if (uint32_t rc = GetDirectoryList(&group, 0, 0)) return rc;
  for (const auto& child : group.m_listChild) {
    int32_t n = child->m_nRecipeNo;
    if (child->m_nKind == QVERCP_KIND_RECIPE && n >= 1 && n <= QVERCP_RECIPE_TABLE) table[n - 1] = 0;
  }
  return 0;
}

uint32_t CQVERcpUtil::CheckRcpDuplicate(const char* groupDirectory, unsigned recipeNo) {
  if (uint32_t rc = rcppath::Check(groupDirectory)) return rc;
  rcphidden::CleanLeftovers(groupDirectory);
  return rcpcheck::Duplicate(QVEEngJoinPath(groupDirectory, QVFormat("RCP%04u", recipeNo).c_str()), true, kSource,
                             "CheckRcpDuplicate()");
}

// The recipe is built complete (stamped header) under a hidden name and then
// appears in one step; an existing recipe is never overwritten.
uint32_t CQVERcpUtil::CreateRecipe(const char* headName, const char* groupDirectory, unsigned recipeNo,
                                   const char* templateFile) {
  CString recipe = QVEEngJoinPath(groupDirectory, QVFormat("RCP%04u", recipeNo).c_str());
  return rcpaudit::Recorded("createRecipe", recipe.c_str(), [&]() -> uint32_t {
    if (groupDirectory == nullptr || *groupDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
    if (uint32_t rc = rcppath::Check(groupDirectory)) return rc;
    rcphidden::CleanLeftovers(groupDirectory);
    // An existing recipe, under any case of its name, makes the last step
    // fail: no check before it could be surer.
    rcphidden::HiddenBuild build(groupDirectory, QVFormat("RCP%04u", recipeNo).c_str());
    if (uint32_t rc = build.Begin()) return rc;
    CString head = QVEEngJoinPath(build.Path().c_str(), kHeadFile);
    // The header is stamped from the template as read and written once: the
    // build is hidden, so only that write needs flushing before the build
    // is renamed into place (which flushes the group).
    CString source = templateFile != nullptr ? CString(templateFile) : head;
    uint32_t placed = templateFile != nullptr ? 0 : TemplateToRead("RCPHEAD", true, head, &source);
    // A header that could not be made or stamped is not a new recipe: the build goes.
    if (uint32_t rc = placed != 0 ? placed : InitRecipeHead(source, head, headName)) {
      _QVCSetError(kMsgInternal, kSource, __LINE__, rc, ("cannot make a recipe header from " + source).c_str());
      return rc;
    }
    return build.Finish();
  });
}

uint32_t CQVERcpUtil::DeleteRecipe(const char* recipeDirectory) {
  return rcpaudit::Recorded("deleteRecipe", recipeDirectory, [&]() -> uint32_t {
    if (recipeDirectory == nullptr || *recipeDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
    if (uint32_t rc = rcppath::Check(recipeDirectory)) return rc;
    rcphidden::CleanLeftoversBeside(recipeDirectory);
    if (uint32_t rc = DirAccessCheck(recipeDirectory)) return rc;
    return rcphidden::DeleteViaTrash(recipeDirectory);
  });
}

uint32_t CQVERcpUtil::FindFreeUnitNo(const char* recipeDirectory, int32_t* table) {
  if (table == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  for (int i = 0; i < QVERCP_UNITS; ++i) table[i] = 1;
  if (uint32_t rc = rcppath::Check(recipeDirectory)) return rc;
  rcphidden::CleanLeftovers(recipeDirectory);
  CStringArray files;
  if (uint32_t rc = QVEEngListFile(QVEEngJoinPath(recipeDirectory, "RcpPT*.edf").c_str(), files)) return rc;
  for (const CString& file : files) {
    CString dir;
    CString name;
    if (uint32_t rc = QVEEngSplitFilePath(file.c_str(), 1, dir, name)) return rc;
    int number = 0;
    if (std::sscanf(QVUpperAscii(name).c_str(), "RCPPT%d.EDF", &number) == 1 && number >= 1 && number <= QVERCP_UNITS) {
      table[number - 1] = 0;
    }
  }
  return 0;
}

uint32_t CQVERcpUtil::CheckUnitDuplicate(const char* recipeDirectory, unsigned unitNo) {
  if (uint32_t rc = rcppath::Check(recipeDirectory)) return rc;
  rcphidden::CleanLeftovers(recipeDirectory);
  return rcpcheck::Duplicate(QVEEngJoinPath(recipeDirectory, QVFormat("RcpPT%02u.edf", unitNo).c_str()), false, kSource,
                             "CheckUnitDuplicate()");
}

// The copy is stamped beside the recipe's files under a hidden name and
// then replaces the file in one step.
uint32_t CQVERcpUtil::CreateUnitRecipe(const char* headName, const char* recipeDirectory, unsigned unitNo,
                                       const char* templateFile) {
  CString unit = QVEEngJoinPath(recipeDirectory, UnitFileName(unitNo).c_str());
  return rcpaudit::Recorded("createUnit", unit.c_str(), [&]() -> uint32_t {
    if (recipeDirectory == nullptr || *recipeDirectory == 0) return QVC_ERR_CANNOT_EXECUTE;
    if (uint32_t rc = rcppath::Check(recipeDirectory)) return rc;
    rcphidden::CleanLeftovers(recipeDirectory);
    CString name = UnitFileName(unitNo);
    rcphidden::HiddenBuild build(recipeDirectory, name.c_str());
    if (uint32_t rc = build.Begin()) return rc;
    CString copy = QVEEngJoinPath(build.Path().c_str(), name.c_str());
    if (uint32_t rc = templateFile != nullptr ? QVEEngCopyFile(templateFile, copy.c_str(), 1, 1)
                                              : PlaceTemplate("RCPPRT", unitNo != 0, copy)) {
      return rc;
    }
    _QVERcpFileDetailInfo info;
    if (uint32_t rc = GetRcpFileInfo(copy.c_str(), nullptr, &info)) return rc;
    info.strHeadName = headName != nullptr ? headName : "";
    if (uint32_t rc = SetRcpFileInfo(copy.c_str(), &info)) return rc;
    return build.FinishFile();
  });
}

uint32_t CQVERcpUtil::DeleteUnitRecipe(const char* recipeDirectory, unsigned unitNo) {
  CString unit = QVEEngJoinPath(recipeDirectory, UnitFileName(unitNo).c_str());
  return rcpaudit::Recorded("deleteUnit", unit.c_str(), [&]() -> uint32_t {
    if (uint32_t rc = rcppath::Check(recipeDirectory, UnitFileName(unitNo).c_str())) return rc;
    rcphidden::CleanLeftovers(recipeDirectory);
    CString file = QVEEngJoinPath(recipeDirectory, UnitFileName(unitNo).c_str());
    if (uint32_t rc = FileAccessCheck(file.c_str())) return rc;
    return QVEEngDeleteFile(file.c_str(), 1, 0);
  });
}
