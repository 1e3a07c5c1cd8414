#include "libqveeda/QVEEdaFile.h"

#include <cstring>

#include "libqvecommon/QVEEngText.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace {

constexpr uint64_t kMaxFile = 64ull << 20;  // far beyond any recipe file

uint32_t ReadWhole(const std::string& path, std::vector<uint8_t>* data) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file)) return rc;
  data->clear();
  uint8_t block[64 * 1024];
  for (;;) {
    size_t got = 0;
    if (uint32_t rc = file->Read(reinterpret_cast<char*>(block), sizeof block, &got)) return rc;
    if (got == 0) return 0;
    if (data->size() + got > kMaxFile) return ERROR_FILE_CORRUPT;
    data->insert(data->end(), block, block + got);
  }
}

// Every offset and size is checked against the file before use.
bool Valid(const std::vector<uint8_t>& data) {
  if (data.size() < QVEEDA_HEADER_SIZE) return false;
  const uint8_t* p = data.data();
  if (std::memcmp(p + QVEEDA_OFF_MAGIC, QVEEDA_MAGIC, 4) != 0) return false;
  if (QVEEdaGetU32(p, QVEEDA_OFF_VERSION) != QVEEDA_FORMAT_VERSION) return false;
  if (QVEEdaGetU32(p, QVEEDA_OFF_SIZE) != data.size()) return false;
  uint64_t count = QVEEdaGetU32(p, QVEEDA_OFF_RECORDS);
  uint64_t directory = QVEEdaGetU32(p, QVEEDA_OFF_DIRECTORY);
  if (directory < QVEEDA_HEADER_SIZE || directory + count * QVEEDA_DIRECTORY_ENTRY > data.size()) return false;
  for (uint64_t i = 0; i < count; ++i) {
    size_t entry = directory + i * QVEEDA_DIRECTORY_ENTRY;
    uint64_t offset = QVEEdaGetU32(p, entry + 8);
    uint64_t size = QVEEdaGetU32(p, entry + 12);
    if (offset < QVEEDA_HEADER_SIZE || offset + size > data.size()) return false;
  }
  return true;
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
CQVEEdaFileMap::~CQVEEdaFileMap() = default;

uint32_t CQVEEdaFileMap::Open(const char* path, uint32_t mode, _QVEEdtFileHeader** header, int /*flag*/) {
  if (path == nullptr || header == nullptr) return ERROR_INVALID_PARAMETER;
  if (mode != QVEEDA_MODE_READ && mode != QVEEDA_MODE_READWRITE) return ERROR_INVALID_PARAMETER;
  std::vector<uint8_t> data;
  if (uint32_t rc = ReadWhole(path, &data)) return rc;
  if (!Valid(data)) return ERROR_FILE_CORRUPT;
  data_ = std::move(data);
  mode_ = mode;
  m_strFileName = path;
  m_nFileSize = static_cast<uint32_t>(data_.size());
  m_pMapAddress = data_.data();
  m_pConvBase = data_.data();
  m_pMapCommitAddress = data_.data();
  *header = reinterpret_cast<_QVEEdtFileHeader*>(data_.data());
  return 0;
}

uint32_t CQVEEdaFileMap::Close() {
  if (m_pMapAddress == nullptr) return ERROR_INVALID_HANDLE;
  uint32_t rc = 0;
  if (mode_ == QVEEDA_MODE_READWRITE) {
    QVEEngTextWriter file;
    rc = file.Create(m_strFileName + ".new");
    if (rc == 0) rc = file.WriteBinary(reinterpret_cast<const char*>(data_.data()), data_.size());
    if (rc == 0) rc = file.Commit(m_strFileName);
  }
  data_.clear();
  data_.shrink_to_fit();
  m_pMapAddress = m_pConvBase = nullptr;
  m_pMapCommitAddress = nullptr;
  m_nFileSize = 0;
  return rc;
}

void* CQVEEdaFileMap::ConvMapAddr(void* fileOffset) {
  return fileOffset == nullptr ? nullptr : ConvMapAddr2(fileOffset);
}

void* CQVEEdaFileMap::ConvMapAddr2(void* fileOffset) {
  return m_pConvBase + reinterpret_cast<uintptr_t>(fileOffset);
}

void* CQVEEdaFileMap::ConvFileAddr(void* mappedAddress) {
  if (mappedAddress == nullptr) return nullptr;
  return reinterpret_cast<void*>(static_cast<uint8_t*>(mappedAddress) - m_pConvBase);
}

uint32_t QVEEdaEdtFindData(_QVEEdtFileHeader* header, const char* name, uint32_t index, void** record,
                           uint32_t* size) {
  if (header == nullptr || name == nullptr || record == nullptr) return ERROR_INVALID_PARAMETER;
  *record = nullptr;
  auto* base = header->bytes;
  uint32_t fileSize = QVEEdaGetU32(base, QVEEDA_OFF_SIZE);
  uint64_t count = QVEEdaGetU32(base, QVEEDA_OFF_RECORDS);
  uint64_t directory = QVEEdaGetU32(base, QVEEDA_OFF_DIRECTORY);
  if (directory < QVEEDA_HEADER_SIZE || directory + count * QVEEDA_DIRECTORY_ENTRY > fileSize) return ERROR_FILE_CORRUPT;
  for (uint64_t i = 0; i < count; ++i) {
    size_t entry = directory + i * QVEEDA_DIRECTORY_ENTRY;
    if (std::strncmp(reinterpret_cast<const char*>(base + entry), name, 4) != 0) continue;
    if (QVEEdaGetU32(base, entry + 4) != index) continue;
    uint64_t offset = QVEEdaGetU32(base, entry + 8);
    uint64_t length = QVEEdaGetU32(base, entry + 12);
    if (offset < QVEEDA_HEADER_SIZE || offset + length > fileSize) return ERROR_FILE_CORRUPT;
    *record = base + offset;
    if (size != nullptr) *size = static_cast<uint32_t>(length);
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
