#include "LibQVBRcpEpa/Archive.h"

#include <cerrno>
#include <fcntl.h>
#include <nettle/sha2.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <map>
#include <memory>
#include <set>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/JsonText.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Rights.h"
#include "RcpArchiveCalls.h"
#include "RcpVerify.h"
#include "RcpAudit.h"
#include "RcpHidden.h"
#include "RcpHistory.h"
#include "RcpSubGroupLine.h"
#include "LibQVCCommon/QVCTime.h"
#include "libqvecommon/QVEEngPath.h"
#include "platform/Env.h"
#include "libqveeda/QVEEdaFile.h"
#include "platform/Host.h"
#include "platform/StoreRoot.h"

namespace rcpstore {

namespace {

using Json = nlohmann::json;
using archivecalls::Archive;
using qvplatform::DirEntry;
using qvplatform::EntryType;

constexpr char kManifest[] = "manifest.json";
constexpr char kFormat[] = "rcpstore-archive";
constexpr int kVersion = 1;
constexpr char kRoot[] = "Recipe";
// No store file comes near these; an archive that claims more is refused.
constexpr int64_t kMaxFileSize = int64_t{1} << 30;
constexpr int64_t kMaxManifestSize = int64_t{256} << 20;

struct ArchiveDeleter {
  void operator()(archive* a) const { Archive().archive_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

struct EntryDeleter {
  void operator()(archive_entry* e) const { Archive().archive_entry_free(e); }
};

// A checksum taken over bytes that arrive in blocks.
class Sha256Sum {
 public:
  Sha256Sum() { sha256_init(&ctx_); }
  void Add(const char* data, size_t n) { sha256_update(&ctx_, n, reinterpret_cast<const uint8_t*>(data)); }
  std::string Hex() {
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx_, sizeof digest, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : digest) {
      hex += kHex[byte >> 4];
      hex += kHex[byte & 0x0F];
    }
    return hex;
  }

 private:
  sha256_ctx ctx_;
};

std::string Sha256(const std::string& bytes) {
  Sha256Sum sum;
  sum.Add(bytes.data(), bytes.size());
  return sum.Hex();
}

std::string ArchiveError(archive* a) {
  const char* text = Archive().archive_error_string(a);
  return text != nullptr ? text : "unknown archive error";
}


// ---- export ----

// One entry of the store as the archive holds it.
struct StoreEntry {
  std::string relative;  // "Recipe/RG01/RcpGrAttr.txt"
  std::string path;
  bool directory;
};

// The store's directories and files, parents first. Work in progress, lock
// files and what lies in the recipes' work directories are not the store's;
// links and special files are never followed and are reported.
void Walk(const std::string& path, const std::string& relative, std::vector<StoreEntry>* out,
          std::vector<std::string>* skipped) {
  std::vector<DirEntry> entries;
  if (uint32_t rc = qvplatform::CurrentEnv()->ReadDirectory(path, &entries)) Fail("cannot list " + path, rc);
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  for (const DirEntry& entry : entries) {
    std::string upper = QVUpperAscii(entry.name);
    bool history = relative == kRoot && entry.name == rcphistory::kHistoryName;
    if ((rcphidden::IsTransient(entry.name) && !history) || rcphidden::IsWorkCopy(entry.name) || upper == "RCPLOCK.TXT") {
      continue;
    }
    StoreEntry item{relative + "/" + entry.name, path + "/" + entry.name, entry.type == EntryType::kDirectory};
    if (entry.type == EntryType::kOther) {
      skipped->push_back(item.path);
      continue;
    }
    out->push_back(item);
    if (item.directory && upper != "TEMP") Walk(item.path, item.relative, out, skipped);
  }
}

Json RecipeJson(const CQVERcpDirInfo& recipe) {
  _QVERcpFileDetailInfo info;
  uint32_t number = 0;
  Json out = {{"recipe", recipe.m_nRecipeNo}};
  if (CQVERcpUtil::GetRcpInfo(recipe.GetFullPath().c_str(), &number, &info) == 0) {
    out["title"] = JsonEscaped(info.strTitle);
    out["version"] = JsonEscaped(info.strVersion);
  }
  return out;
}

// A group's or sub-group's items as the store arranges them.
Json ItemsJson(const CQVERcpDirInfo& node) {
  Json items = Json::array();
  for (const auto& child : node.m_listChild) {
    if (child->m_nKind == QVERCP_KIND_RECIPE) items.push_back(RecipeJson(*child));
    if (child->m_nKind == QVERCP_KIND_SUBGROUP) {
      items.push_back({{"subGroup", JsonEscaped(child->m_strName)}, {"items", ItemsJson(*child)}});
    }
  }
  return items;
}

Json TreeJson(const Target& project) {
  CQVERcpDirInfo root;
  root.m_nKind = QVERCP_KIND_PROJECT;
  QVEEngSplitFilePath(project.project.c_str(), 1, root.m_strParentPath, root.m_strName);
  CQVERcpUtil::GetDirectoryList(&root, 1, 0);
  Json groups = Json::array();
  for (const auto& group : root.m_listChild) {
    rcpsubgroup::ReadLayout(group->GetFullPath(), group.get());
    _QVERcpGroupInfo info;
    CQVERcpUtil::GetRecipeGroupInfo(group->GetFullPath().c_str(), &info);
    groups.push_back(
        {{"group", group->m_nGroupNo}, {"comment", JsonEscaped(info.strComment)}, {"items", ItemsJson(*group)}});
  }
  return groups;
}

// Writes into a file that the caller created and closes.
class ArchiveWriter {
 public:
  ArchiveWriter(qvplatform::WritableFile* file, const std::string& path) : a_(Archive().archive_write_new()) {
    if (Archive().archive_write_add_filter_gzip(a_.get()) != ARCHIVE_OK ||
        Archive().archive_write_set_format_pax_restricted(a_.get()) != ARCHIVE_OK ||
        Archive().archive_write_set_bytes_in_last_block(a_.get(), 1) != ARCHIVE_OK ||
        Archive().archive_write_open(a_.get(), file, nullptr, WriteBlock, nullptr) != ARCHIVE_OK) {
      Fail("cannot write " + path + ": " + ArchiveError(a_.get()), ERROR_WRITE_FAULT);
    }
  }

  void Add(const std::string& name, bool directory, const std::string& bytes) {
    Header(name, directory, bytes.size());
    if (!directory) Data(bytes.data(), bytes.size());
  }

  // Streams a store file in blocks, its checksum taken on the way, so that
  // no file is ever held whole. One larger than an import takes is refused
  // before it is read; one that changes size meanwhile fails the export.
  std::string AddFile(const std::string& name, const std::string& path, uint64_t* size) {
    std::unique_ptr<qvplatform::ReadableFile> file;
    if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file)) Fail("cannot read " + path, rc);
    if (uint32_t rc = file->Size(size)) Fail("cannot read " + path, rc);
    if (*size > static_cast<uint64_t>(kMaxFileSize)) {
      Fail(path + " is larger than any store file (" + std::to_string(*size) + " bytes)", ERROR_FILE_CORRUPT);
    }
    Header(name, false, *size);
    Sha256Sum sum;
    char buffer[65536];
    uint64_t read = 0;
    for (size_t got = 1; got > 0 && read <= *size;) {
      if (uint32_t rc = file->Read(buffer, sizeof buffer, &got)) Fail("cannot read " + path, rc);
      read += got;
      if (read > *size) break;
      sum.Add(buffer, got);
      Data(buffer, got);
    }
    if (read != *size) Fail(path + " changed while it was read", ERROR_READ_FAULT);
    return sum.Hex();
  }

  void Close() {
    if (Archive().archive_write_close(a_.get()) != ARCHIVE_OK) {
      Fail("cannot write the archive: " + ArchiveError(a_.get()), ERROR_WRITE_FAULT);
    }
  }

 private:
  void Header(const std::string& name, bool directory, uint64_t size) {
    std::unique_ptr<archive_entry, EntryDeleter> entry(Archive().archive_entry_new());
    Archive().archive_entry_set_pathname(entry.get(), name.c_str());
    Archive().archive_entry_set_filetype(entry.get(), directory ? AE_IFDIR : AE_IFREG);
    Archive().archive_entry_set_perm(entry.get(), directory ? 0755 : 0644);
    Archive().archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    Archive().archive_entry_set_mtime(entry.get(), QVCTime(nullptr), 0);
    if (Archive().archive_write_header(a_.get(), entry.get()) != ARCHIVE_OK) Failed();
  }

  void Data(const char* data, size_t n) {
    if (Archive().archive_write_data(a_.get(), data, n) != static_cast<la_ssize_t>(n)) Failed();
  }

  [[noreturn]] void Failed() { Fail("cannot write the archive: " + ArchiveError(a_.get()), ERROR_WRITE_FAULT); }

  static la_ssize_t WriteBlock(archive* a, void* file, const void* data, size_t size) {
    uint32_t rc = static_cast<qvplatform::WritableFile*>(file)->Append(static_cast<const char*>(data), size);
    if (rc == 0) return static_cast<la_ssize_t>(size);
    Archive().archive_set_error(a, EIO, "error 0x%08X", rc);
    return -1;
  }

  ArchivePtr a_;
};

// Standard output as the file an archive is written to.
class StandardOutput : public qvplatform::WritableFile {
 public:
  uint32_t Append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t done = write(STDOUT_FILENO, data, n);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return ERROR_WRITE_FAULT;
      data += done;
      n -= static_cast<size_t>(done);
    }
    return 0;
  }
  uint32_t AppendHole(size_t n) override { return Append(std::string(n, '\0').data(), n); }
  uint32_t Sync() override { return 0; }
  uint32_t Close() override { return 0; }
};

// The entries' bytes and the manifest, which comes last so that every file
// is read once.
void WriteArchive(const Target& project, const std::vector<StoreEntry>& entries, qvplatform::WritableFile* file,
                  const std::string& path, ExportSummary* summary, const ArchiveProgress& progress) {
  Json files = Json::array();
  Json directories = Json::array();
  ArchiveWriter writer(file, path);
  size_t done = 0;
  for (const StoreEntry& entry : entries) {
    if (progress) progress(done++, entries.size());
    if (entry.directory) {
      directories.push_back(JsonEscaped(entry.relative));
      writer.Add(entry.relative, true, "");
      continue;
    }
    uint64_t size = 0;
    std::string sum = writer.AddFile(entry.relative, entry.path, &size);
    files.push_back({{"path", JsonEscaped(entry.relative)}, {"size", size}, {"sha256", sum}});
    summary->bytes += size;
    ++summary->files;
  }
  Json manifest = {{"format", kFormat},
                   {"version", kVersion},
                   {"project", JsonEscaped(project.projectName)},
                   {"exported", QVCUtcNow()},
                   {"station", JsonEscaped(qvplatform::ComputerName())},
                   {"groups", TreeJson(project)},
                   {"directories", directories},
                   {"files", files}};
  writer.Add(kManifest, false, manifest.dump());
  writer.Close();
}

// ---- import ----

// The archive path of an entry, checked: a relative path below Recipe (or
// the manifest), without empty, "." or ".." components or hidden names
// (but for the history, Recipe/.history).
std::string CheckedName(const char* pathname) {
  std::string name = pathname != nullptr ? pathname : "";
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (name == kManifest) return name;
  if (name.empty() || name[0] == '/') Fail("entry \"" + name + "\" has an absolute path", QVERCP_ERR_INVALID_NAME);
  size_t begin = 0;
  bool first = true;
  while (begin <= name.size()) {
    size_t end = std::min(name.find('/', begin), name.size());
    std::string component = name.substr(begin, end - begin);
    bool history = begin == std::string(kRoot).size() + 1 && component == rcphistory::kHistoryName;
    if (component.empty() || component == "." || component == ".." || (component[0] == '.' && !history)) {
      Fail("entry \"" + name + "\" leaves the store or names hidden work", QVERCP_ERR_INVALID_NAME);
    }
    if (first && component != kRoot) Fail("entry \"" + name + "\" lies outside the store", QVERCP_ERR_INVALID_NAME);
    first = false;
    begin = end + 1;
  }
  return name;
}

struct Extracted {
  std::map<std::string, std::pair<int64_t, std::string>> files;  // name: size, sum
  std::set<std::string> directories;
  std::string manifest;
};

[[noreturn]] void TooLarge() { Fail("an entry is larger than any store file", ERROR_FILE_CORRUPT); }

class ArchiveReader {
 public:
  explicit ArchiveReader(const std::string& path) : a_(Archive().archive_read_new()) {
    Archive().archive_read_support_filter_all(a_.get());
    Archive().archive_read_support_format_tar(a_.get());
    int rc = path == kStandardStream ? Archive().archive_read_open_fd(a_.get(), STDIN_FILENO, 65536)
                                     : Archive().archive_read_open_filename(a_.get(), path.c_str(), 65536);
    if (rc != ARCHIVE_OK) {
      Fail("cannot read " + path + ": " + ArchiveError(a_.get()), ERROR_READ_FAULT);
    }
  }

  // The next entry, or null at the end of a whole archive.
  archive_entry* Next() {
    archive_entry* entry = nullptr;
    int rc = Archive().archive_read_next_header(a_.get(), &entry);
    if (rc == ARCHIVE_EOF) return nullptr;
    if (rc != ARCHIVE_OK) Fail("damaged or truncated archive: " + ArchiveError(a_.get()), ERROR_FILE_CORRUPT);
    return entry;
  }

  std::string Data(archive_entry* entry, int64_t limit) {
    if (Archive().archive_entry_size(entry) > limit) TooLarge();
    std::string bytes;
    char buffer[65536];
    la_ssize_t got = 0;
    while ((got = Archive().archive_read_data(a_.get(), buffer, sizeof buffer)) > 0) {
      bytes.append(buffer, static_cast<size_t>(got));
      if (static_cast<int64_t>(bytes.size()) > limit) TooLarge();
    }
    if (got < 0) Fail("damaged or truncated archive: " + ArchiveError(a_.get()), ERROR_FILE_CORRUPT);
    return bytes;
  }

 private:
  ArchivePtr a_;
};

std::string Below(const std::string& build, const std::string& name) {
  return name == kRoot ? build : build + name.substr(sizeof kRoot - 1);
}

// Entries are made under their exact names in the fresh build: no two differ
// only in case (Extract refuses them), so no look-up without regard to case
// is needed, and the import stays linear in its entries.
void MakeDirectory(const std::string& path) {
  if (uint32_t rc = qvplatform::CurrentEnv()->MakeNewDirectory(path)) Fail("cannot make " + path, rc);
}

void WriteNewFile(const std::string& path, const std::string& bytes) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::unique_ptr<qvplatform::WritableFile> file;
  uint32_t rc = env->CreateNew(path, &file);
  if (rc == 0) rc = file->Append(bytes.data(), bytes.size());
  if (rc == 0) rc = file->Close();
  if (rc != 0) Fail("cannot write " + path, rc);
}

// Every entry goes below the build directory. An export writes parents
// first; a file or directory whose parent has not come is refused.
Extracted Extract(const std::string& archivePath, const std::string& build, const ArchiveProgress& progress) {
  ArchiveReader reader(archivePath);
  Extracted out;
  std::set<std::string> seen;
  while (archive_entry* entry = reader.Next()) {
    if (progress) progress(seen.size(), 0);
    std::string name = CheckedName(Archive().archive_entry_pathname(entry));
    bool link = Archive().archive_entry_hardlink(entry) != nullptr || Archive().archive_entry_symlink(entry) != nullptr;
    mode_t type = Archive().archive_entry_filetype(entry);
    if (link || (type != AE_IFREG && type != AE_IFDIR)) {
      Fail("entry \"" + name + "\" is a link or special file", QVERCP_ERR_INVALID_NAME);
    }
    // Names match without regard to case in a store, so two entries that
    // differ only in case would land in one file.
    if (!seen.insert(QVUpperAscii(name)).second) Fail("entry \"" + name + "\" comes twice", QVERCP_ERR_INVALID_NAME);
    if (name == kManifest) {
      out.manifest = reader.Data(entry, kMaxManifestSize);
    } else if (type == AE_IFDIR) {
      out.directories.insert(name);
      // The Recipe entry is the build directory itself, which is there already.
      if (name != kRoot) MakeDirectory(Below(build, name));
    } else {
      std::string bytes = reader.Data(entry, kMaxFileSize);
      WriteNewFile(Below(build, name), bytes);
      out.files[name] = {static_cast<int64_t>(bytes.size()), Sha256(bytes)};
    }
  }
  return out;
}

// The manifest must list exactly what arrived, with the same sums.
void CheckManifest(const Extracted& got) {
  Json manifest = Json::parse(got.manifest, nullptr, false);
  if (!manifest.is_object() || manifest.value("format", "") != kFormat || manifest.value("version", 0) != kVersion) {
    Fail("no manifest of a store archive", ERROR_FILE_CORRUPT);
  }
  size_t listed = 0;
  for (const Json& file : manifest.value("files", Json::array())) {
    std::string name = JsonUnescaped(file.value("path", ""));
    auto found = got.files.find(name);
    if (found == got.files.end()) Fail("\"" + name + "\" is listed but missing", ERROR_FILE_CORRUPT);
    if (found->second.first != file.value("size", int64_t{-1}) || found->second.second != file.value("sha256", "")) {
      Fail("\"" + name + "\" does not match its checksum", ERROR_FILE_CORRUPT);
    }
    ++listed;
  }
  if (listed != got.files.size()) Fail("the archive holds files its manifest does not list", ERROR_FILE_CORRUPT);
  std::set<std::string> directories;
  for (const Json& directory : manifest.value("directories", Json::array())) directories.insert(JsonUnescaped(directory.get<std::string>()));
  if (directories != got.directories) Fail("the directories differ from the manifest's", ERROR_FILE_CORRUPT);
}

void SyncTree(const std::string& directory) {
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  bool ok = fd >= 0 && syncfs(fd) == 0;
  if (fd >= 0) close(fd);
  if (!ok) Fail("cannot flush " + directory, ERROR_WRITE_FAULT);
}

void CheckImportTarget(const ImportRequest& request, const std::string& directory) {
  if (!IsDirectory(Parent(directory))) Fail("no such directory: " + Parent(directory), ERROR_PATH_NOT_FOUND);
  if (Exists(directory) && !IsDirectory(directory)) Fail(directory + " is not a directory", ERROR_ALREADY_EXISTS);
  if (Exists(directory + "/" + kRoot) && !request.replace) {
    Fail("a recipe store is there already (--replace replaces it)", QVC_ERR_EXISTS);
  }
  if (!request.name.empty()) RequireNameMayLeadTo(request.name, directory, request.replace);
}

// Puts the build in place. An existing store is first checked as a project
// delete checks it: while another process holds any lock or file below it,
// it is not replaced. It is then moved aside under the in-use check's name,
// which every clean-up moves back while the name is free, so that a kill at
// any step leaves one store in place.
void PutInPlace(rcphidden::HiddenBuild& build, const std::string& recipe) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::string aside;
  if (Exists(recipe)) {
    Check(CQVERcpUtil::DirAccessCheck(recipe.c_str()), "the store there is in use: a lock or a file in it is held");
    aside = rcphidden::CheckName(recipe);
    if (uint32_t rc = env->RenameNoReplace(recipe, aside)) Fail("cannot move the old store aside", rc);
  }
  if (uint32_t rc = build.Finish()) {
    if (!aside.empty()) env->RenameNoReplace(aside, recipe);
    Fail("cannot put the store in place", rc);
  }
  if (!aside.empty()) rcphidden::DeleteViaTrash(aside);
}

ImportSummary Restore(const ImportRequest& request, const std::string& directory, const ArchiveProgress& progress) {
  ImportSummary summary;
  summary.project = directory;
  std::string recipe = directory + "/" + kRoot;
  Target target;
  target.project = directory;
  target.projectName = request.name.empty() ? LastName(directory) : request.name;
  CommandLocks locks;
  if (Exists(recipe)) locks.LockProject(target);
  rcphidden::HiddenBuild build(directory, kRoot);
  Check(build.Begin());
  Extracted got = Extract(request.archive, build.Path(), progress);
  CheckManifest(got);
  summary.files = got.files.size();
  rcpverify::VerifyRecipeDirectory(build.Path(), &summary.findings);
  for (rcpverify::Finding& finding : summary.findings) finding.path = recipe + finding.path.substr(build.Path().size());
  SyncTree(build.Path());
  PutInPlace(build, recipe);
  return summary;
}

void Register(const std::string& name, const std::string& directory) {
  _QVERcpProjectInfo info{};
  info.strPath = directory;
  info.nStatus = 1;
  Check(CQVERcpUtil::SetProjectInfo(name.c_str(), &info, 0));
}

}  // namespace

// The archive is written under a name nobody can foresee, created afresh in
// the opened destination directory, and renamed into place there when whole:
// nothing planted beside it is ever written through.
ExportSummary ExportStore(const std::string& given, const std::string& archiveGiven, const ArchiveProgress& progress) {
  OpenedProjects opened;
  Target project = ProjectTarget(given);
  CommandLocks locks;
  locks.LockProject(project);
  const std::string archive = archiveGiven == kStandardStream ? archiveGiven : CleanPath(archiveGiven);
  const std::string root = project.project + "/" + kRoot;
  std::vector<StoreEntry> entries{{kRoot, root, true}};
  ExportSummary summary;
  summary.project = PlainItem(project);
  summary.archive = archive;
  Walk(root, kRoot, &entries, &summary.skipped);
  if (archiveGiven == kStandardStream) {
    StandardOutput out;
    summary.archive = kStandardStream;
    WriteArchive(project, entries, &out, "standard output", &summary, progress);
    return summary;
  }
  qvplatform::Env* env = qvplatform::CurrentEnv();
  Check(qvplatform::OpenStoreRoot(Parent(archive), true), "cannot open " + Parent(archive));
  std::string part = rcphidden::HiddenName(Parent(archive), LastName(archive), ".part-");
  std::unique_ptr<qvplatform::WritableFile> file;
  Check(env->CreateNew(part, &file), "cannot create " + part);
  try {
    WriteArchive(project, entries, file.get(), archive, &summary, progress);
    Check(file->Sync(), "cannot write " + archive);
    Check(file->Close(), "cannot write " + archive);
  } catch (const Failure&) {
    env->RemoveFile(part);
    throw;
  }
  if (uint32_t rc = env->Rename(part, archive)) {
    env->RemoveFile(part);
    Fail("cannot put " + archive + " in place", rc);
  }
  return summary;
}

// Everything is built beneath the destination directory, opened once.
ImportSummary ImportStore(const ImportRequest& request, const ArchiveProgress& progress) {
  OpenedProjects opened;
  RequireRight(Right::Create);
  if (request.replace) RequireRight(Right::Delete);
  std::string directory = CleanPath(request.directory);
  if (Exists(directory)) OpenProjectDirectory(directory);
  CheckImportTarget(request, directory);
  bool made = !Exists(directory);
  if (made) MakeDirectory(directory);
  OpenProjectDirectory(directory);
  ImportSummary summary;
  try {
    summary = Restore(request, directory, progress);
  } catch (const Failure& failure) {
    if (made) qvplatform::CurrentEnv()->RemoveDirectory(directory);
    rcpaudit::Record("importStore", directory + "/" + kRoot, failure.code, request.archive);
    throw;
  }
  rcpaudit::Record("importStore", directory + "/" + kRoot, 0, request.archive);
  // Recipes whose files the imported history does not record (an archive
  // without history) get their first version now.
  rcphistory::ReconcileProject(directory, "importStore");
  if (!request.name.empty()) Register(request.name, directory);
  return summary;
}

}  // namespace rcpstore
