#include "libqveeda/QVEEdaFile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace {

constexpr uint64_t kMaxFile = 64ull << 20;  // far beyond any recipe file
// A recipe header holds 33 small records: a few KiB.
constexpr uint64_t kMaxHeadFile = 1ull << 20;
constexpr uint32_t kHeadKind = 0x2452;

// Reads up to the file's end, but no further than limit bytes in all.
uint32_t ReadUpTo(qvplatform::ReadableFile* file, uint64_t limit, std::vector<uint8_t>* data) {
  uint8_t block[64 * 1024];
  while (data->size() < limit) {
    size_t got = 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof block, limit - data->size()));
    if (uint32_t rc = file->Read(reinterpret_cast<char*>(block), want, &got)) return rc;
    if (got == 0) return 0;
    data->insert(data->end(), block, block + got);
  }
  return 0;
}

// A file is refused before its body is read when it is larger than any data
// file, or than a file of its kind, or than its header says it is, so that a
// large or sparse file costs no more than its header.
bool SizeFits(const std::vector<uint8_t>& header, uint64_t size) {
  if (size > kMaxFile) return false;
  if (header.size() < QVEEDA_HEADER_SIZE) return true;  // too short: refused once read
  if (QVEEdaGetU32(header.data(), QVEEDA_OFF_SIZE) != size) return false;
  return QVEEdaGetU32(header.data(), QVEEDA_OFF_KIND) != kHeadKind || size <= kMaxHeadFile;
}

// A small file (every recipe header) is read with one call that asks for
// one byte more than it measured, which normally shows its end too; a short
// read goes on to the end.
constexpr uint64_t kOneRead = 64 * 1024;

uint32_t ReadSmall(qvplatform::ReadableFile* file, uint64_t size, std::vector<uint8_t>* data) {
  data->resize(static_cast<size_t>(size) + 1);
  size_t got = 0;
  if (uint32_t rc = file->Read(reinterpret_cast<char*>(data->data()), data->size(), &got)) return rc;
  data->resize(got);
  if (got != 0 && got < size) {
    if (uint32_t rc = ReadUpTo(file, size + 1, data)) return rc;
  }
  if (data->size() > size) return ERROR_FILE_CORRUPT;  // it grew while it was read
  return SizeFits(*data, size) ? 0 : ERROR_FILE_CORRUPT;
}

uint32_t ReadWhole(const std::string& path, std::vector<uint8_t>* data) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file)) return rc;
  uint64_t size = 0;
  if (uint32_t rc = file->Size(&size)) return rc;
  data->clear();
  if (size < kOneRead) return ReadSmall(file.get(), size, data);
  if (uint32_t rc = ReadUpTo(file.get(), std::min<uint64_t>(size, QVEEDA_HEADER_SIZE), data)) return rc;
  if (!SizeFits(*data, size)) return ERROR_FILE_CORRUPT;
  data->reserve(static_cast<size_t>(size));
  if (uint32_t rc = ReadUpTo(file.get(), size, data)) return rc;
  // A file that grew while it was read is not the one measured.
  char more = 0;
  size_t got = 0;
  if (uint32_t rc = file->Read(&more, 1, &got)) return rc;
  return got == 0 ? 0 : ERROR_FILE_CORRUPT;
}

// The record directory: where it starts and ends, inside the file after the
// header.
struct Directory {
  uint64_t begin = 0;
  uint64_t end = 0;
  uint64_t count = 0;
};

bool ReadDirectory(const uint8_t* base, uint64_t fileSize, Directory* directory) {
  directory->count = QVEEdaGetU32(base, QVEEDA_OFF_RECORDS);
  directory->begin = QVEEdaGetU32(base, QVEEDA_OFF_DIRECTORY);
  directory->end = directory->begin + directory->count * QVEEDA_DIRECTORY_ENTRY;
  return directory->begin >= QVEEDA_HEADER_SIZE && directory->end <= fileSize;
}

// One directory entry. The name is compared as text: bytes after its first
// zero do not count.
struct Entry {
  char name[4] = {};
  uint32_t index = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

Entry ReadEntry(const uint8_t* base, const Directory& directory, uint64_t i) {
  const uint64_t at = directory.begin + i * QVEEDA_DIRECTORY_ENTRY;
  Entry entry;
  for (size_t k = 0; k < sizeof entry.name && base[at + k] != 0; ++k) entry.name[k] = static_cast<char>(base[at + k]);
  entry.index = QVEEdaGetU32(base, at + 4);
  entry.offset = QVEEdaGetU32(base, at + 8);
  entry.size = QVEEdaGetU32(base, at + 12);
  return entry;
}

bool NameIs(const Entry& entry, const char* name) {
  size_t k = 0;
  for (; k < sizeof entry.name && name[k] != 0; ++k) {
    if (entry.name[k] != name[k]) return false;
  }
  return k == sizeof entry.name || entry.name[k] == 0;
}

// A record lies inside the file, after the header and clear of the
// directory, so that writing it can never change the file's layout.
bool RecordFits(const Entry& entry, const Directory& directory, uint64_t fileSize) {
  const uint64_t end = entry.offset + entry.size;
  if (entry.offset < QVEEDA_HEADER_SIZE || end > fileSize) return false;
  return entry.size == 0 || end <= directory.begin || entry.offset >= directory.end;
}

// No two records share a byte, and no two entries share a name and index
// (a look-up would see only the first).
bool RecordsDistinct(std::vector<Entry> entries) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.offset < b.offset; });
  uint64_t reached = 0;
  for (const Entry& e : entries) {
    if (e.size == 0) continue;
    if (e.offset < reached) return false;
    reached = e.offset + e.size;
  }
  auto key = [](const Entry& e) { return std::make_pair(std::string(e.name, sizeof e.name), e.index); };
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) { return key(a) < key(b); });
  return std::adjacent_find(entries.begin(), entries.end(),
                            [&](const Entry& a, const Entry& b) { return key(a) == key(b); }) == entries.end();
}

// Every offset and size is checked against the file before use.
bool Valid(const std::vector<uint8_t>& data) {
  if (data.size() < QVEEDA_HEADER_SIZE) return false;
  const uint8_t* p = data.data();
  if (std::memcmp(p + QVEEDA_OFF_MAGIC, QVEEDA_MAGIC, 4) != 0) return false;
  if (QVEEdaGetU32(p, QVEEDA_OFF_VERSION) != QVEEDA_FORMAT_VERSION) return false;
  if (QVEEdaGetU32(p, QVEEDA_OFF_SIZE) != data.size()) return false;
  Directory directory;
  if (!ReadDirectory(p, data.size(), &directory)) return false;
  std::vector<Entry> entries;
  entries.reserve(directory.count);
  for (uint64_t i = 0; i < directory.count; ++i) {
    entries.push_back(ReadEntry(p, directory, i));
    if (!RecordFits(entries.back(), directory, data.size())) return false;
  }
  return RecordsDistinct(std::move(entries));
}

}  // namespace

uint32_t QVEEdaGetU32(const void* base, size_t offset) {
  const auto* p = static_cast<const uint8_t*>(base) + offset;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void QVEEdaPutU32(void* base, size_t offset, uint32_t value) {
  auto* p = static_cast<uint8_t*>(base) + offset;
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

CString QVEEdaGetText(const void* base, size_t offset, size_t width) {
  const auto* p = static_cast<const char*>(base) + offset;
  size_t n = 0;
  while (n < width && p[n] != 0) ++n;
  return CString(p, n);
}

void QVEEdaPutText(void* base, size_t offset, size_t width, const CString& text) {
  auto* p = static_cast<char*>(base) + offset;
  std::memset(p, 0, width);
  std::memcpy(p, text.data(), text.size() < width ? text.size() : width);
}

CQVEEdaFileMap::CQVEEdaFileMap() = default;
CQVEEdaFileMap::~CQVEEdaFileMap() { Release(); }

// A read-write mapping holds its work file from before the read until Close:
// a second writer of the same file is refused while this one runs, and no
// update made between this read and this write-back can be lost.
uint32_t CQVEEdaFileMap::Open(const char* path, uint32_t mode, _QVEEdtFileHeader** header, int /*flag*/) {
  if (path == nullptr || header == nullptr) return ERROR_INVALID_PARAMETER;
  if (mode != QVEEDA_MODE_READ && mode != QVEEDA_MODE_READWRITE) return ERROR_INVALID_PARAMETER;
  Release();
  if (mode == QVEEDA_MODE_READWRITE) {
    if (uint32_t rc = work_.Create(std::string(path) + ".new")) return rc;
  }
  std::vector<uint8_t> data;
  uint32_t rc = ReadWhole(path, &data);
  if (rc == 0 && !Valid(data)) rc = ERROR_FILE_CORRUPT;
  if (rc != 0) {
    if (mode == QVEEDA_MODE_READWRITE) work_.Abandon();
    return rc;
  }
  Map(std::move(data), mode, path, header);
  return 0;
}

uint32_t CQVEEdaFileMap::OpenImage(std::vector<uint8_t> image, _QVEEdtFileHeader** header) {
  if (header == nullptr) return ERROR_INVALID_PARAMETER;
  Release();
  if (!Valid(image)) return ERROR_FILE_CORRUPT;
  Map(std::move(image), QVEEDA_MODE_READ, "", header);
  return 0;
}

void CQVEEdaFileMap::Map(std::vector<uint8_t> data, uint32_t mode, const char* name, _QVEEdtFileHeader** header) {
  data_ = std::move(data);
  mode_ = mode;
  m_strFileName = name;
  m_nFileSize = static_cast<uint32_t>(data_.size());
  m_pMapAddress = data_.data();
  m_pConvBase = data_.data();
  m_pMapCommitAddress = data_.data();
  *header = reinterpret_cast<_QVEEdtFileHeader*>(data_.data());
}

uint32_t CQVEEdaFileMap::Close() {
  if (m_pMapAddress == nullptr) return ERROR_INVALID_HANDLE;
  uint32_t rc = 0;
  if (mode_ == QVEEDA_MODE_READWRITE) {
    rc = work_.WriteBinary(reinterpret_cast<const char*>(data_.data()), data_.size());
    if (rc != 0) work_.Abandon();
    // Commit gives up the work file itself, whether it succeeds or not.
    if (rc == 0) rc = work_.Commit(m_strFileName);
    mode_ = 0;
  }
  Release();
  return rc;
}

void CQVEEdaFileMap::Release() {
  if (mode_ == QVEEDA_MODE_READWRITE) work_.Abandon();
  mode_ = 0;
  data_.clear();
  data_.shrink_to_fit();
  m_pMapAddress = m_pConvBase = nullptr;
  m_pMapCommitAddress = nullptr;
  m_nFileSize = 0;
}

uint32_t QVEEdaEdtFindData(_QVEEdtFileHeader* header, const char* name, uint32_t index, void** record,
                           uint32_t* size) {
  if (header == nullptr || name == nullptr || record == nullptr) return ERROR_INVALID_PARAMETER;
  *record = nullptr;
  auto* base = reinterpret_cast<uint8_t*>(header);
  const uint64_t fileSize = QVEEdaGetU32(base, QVEEDA_OFF_SIZE);
  Directory directory;
  if (!ReadDirectory(base, fileSize, &directory)) return ERROR_FILE_CORRUPT;
  for (uint64_t i = 0; i < directory.count; ++i) {
    const Entry entry = ReadEntry(base, directory, i);
    if (!NameIs(entry, name) || entry.index != index) continue;
    if (!RecordFits(entry, directory, fileSize)) return ERROR_FILE_CORRUPT;
    *record = base + entry.offset;
    if (size != nullptr) *size = static_cast<uint32_t>(entry.size);
    return 0;
  }
  return ERROR_FILE_CORRUPT;
}

std::vector<uint8_t> QVEEdaBuildFile(uint32_t kind, const CString& name, const std::vector<QVEEdaRecord>& records) {
  size_t directory = QVEEDA_HEADER_SIZE;
  size_t offset = directory + records.size() * QVEEDA_DIRECTORY_ENTRY;
  size_t total = offset;
  for (const QVEEdaRecord& r : records) total += r.bytes.size();
  std::vector<uint8_t> data(total, 0);
  uint8_t* p = data.data();
  std::memcpy(p + QVEEDA_OFF_MAGIC, QVEEDA_MAGIC, 4);
  QVEEdaPutU32(p, QVEEDA_OFF_VERSION, QVEEDA_FORMAT_VERSION);
  QVEEdaPutU32(p, QVEEDA_OFF_SIZE, static_cast<uint32_t>(total));
  QVEEdaPutU32(p, QVEEDA_OFF_KIND, kind);
  QVEEdaPutText(p, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH, name);
  QVEEdaPutU32(p, QVEEDA_OFF_RECORDS, static_cast<uint32_t>(records.size()));
  QVEEdaPutU32(p, QVEEDA_OFF_DIRECTORY, static_cast<uint32_t>(directory));
  for (size_t i = 0; i < records.size(); ++i) {
    size_t entry = directory + i * QVEEDA_DIRECTORY_ENTRY;
    QVEEdaPutText(p, entry, 4, records[i].name);
    QVEEdaPutU32(p, entry + 4, records[i].index);
    QVEEdaPutU32(p, entry + 8, static_cast<uint32_t>(offset));
    QVEEdaPutU32(p, entry + 12, static_cast<uint32_t>(records[i].bytes.size()));
    std::memcpy(p + offset, records[i].bytes.data(), records[i].bytes.size());
    offset += records[i].bytes.size();
  }
  return data;
}
