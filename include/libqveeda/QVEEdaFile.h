// Engineering data files (EDF): a file header, a record directory and the
// records, read whole into memory and written back in one durable step.
// The format is described in docs/edf-format.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "QVFramework.h"
#include "libqvecommon/QVEEngText.h"

constexpr uint32_t QVEEDA_MODE_READ = 1;
constexpr uint32_t QVEEDA_MODE_READWRITE = 4;

constexpr size_t QVEEDA_HEADER_SIZE = 0x40;
constexpr size_t QVEEDA_DIRECTORY_ENTRY = 16;
constexpr uint32_t QVEEDA_FORMAT_VERSION = 1;
constexpr char QVEEDA_MAGIC[] = "QEDF";

// Header offsets.
constexpr size_t QVEEDA_OFF_MAGIC = 0x00;
constexpr size_t QVEEDA_OFF_VERSION = 0x04;
constexpr size_t QVEEDA_OFF_SIZE = 0x08;
constexpr size_t QVEEDA_OFF_KIND = 0x0C;
constexpr size_t QVEEDA_OFF_NAME = 0x10;
constexpr size_t QVEEDA_NAME_WIDTH = 8;
constexpr size_t QVEEDA_OFF_RECORDS = 0x18;
constexpr size_t QVEEDA_OFF_DIRECTORY = 0x1C;
constexpr size_t QVEEDA_OFF_REVISION = 0x24;  // three bytes
constexpr size_t QVEEDA_OFF_WRITTEN = 0x30;
constexpr size_t QVEEDA_OFF_UPDATED = 0x34;

// A malformed file: bad magic, truncated, a directory or record outside the
// file, records overlapping the header, the directory or each other, two
// entries with one name and index, a record missing or too small.
constexpr uint32_t ERROR_FILE_CORRUPT = 1392;

// The mapped file header: the first bytes of the mapping.
struct _QVEEdtFileHeader {
  uint8_t bytes[QVEEDA_HEADER_SIZE];
};

// Little-endian fields and fixed-width texts (zero-filled, no terminating
// zero when the text fills the width).
uint32_t QVEEdaGetU32(const void* base, size_t offset);
void QVEEdaPutU32(void* base, size_t offset, uint32_t value);
CString QVEEdaGetText(const void* base, size_t offset, size_t width);
void QVEEdaPutText(void* base, size_t offset, size_t width, const CString& text);

class QV_EXPORT CQVEEdaFileMap {
 public:
  CQVEEdaFileMap();
  virtual ~CQVEEdaFileMap();
  CQVEEdaFileMap(const CQVEEdaFileMap&) = delete;
  CQVEEdaFileMap& operator=(const CQVEEdaFileMap&) = delete;

  // Reads and checks the file; mode QVEEDA_MODE_READ or _READWRITE. 0 and
  // the header, ERROR_FILE_CORRUPT for a malformed file, or the failure to
  // read it. Read-write first takes the work file PATH.new, held until Close
  // or the map's end (ERROR_SHARING_VIOLATION while another writer has it).
  uint32_t Open(const char* path, uint32_t mode, _QVEEdtFileHeader** header, int flag);
  // Checks a file image already in memory (a kept content) and maps it for
  // reading, as Open does a file.
  uint32_t OpenImage(std::vector<uint8_t> image, _QVEEdtFileHeader** header);
  // Writes a read-write mapping back (durably, the old file whole until the
  // new one is in place) and releases it.
  uint32_t Close();
  // Releases the mapping without writing anything back.
  void Release();

  // File offset to mapped address (null stays null) and back; ConvMapAddr2
  // converts null too, to the conversion base.
  void* ConvMapAddr(void* fileOffset) { return fileOffset == nullptr ? nullptr : ConvMapAddr2(fileOffset); }
  void* ConvMapAddr2(void* fileOffset) {
    return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(m_pConvBase) + reinterpret_cast<uintptr_t>(fileOffset));
  }
  void* ConvFileAddr(void* mappedAddress) {
    if (mappedAddress == nullptr) return nullptr;
    return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(mappedAddress) - reinterpret_cast<uintptr_t>(m_pConvBase));
  }
  const CString& GetFileName() const { return m_strFileName; }
  uint32_t GetFileSize() { return m_nFileSize; }
  void* GetMapAddress() { return m_pMapAddress; }
  void* GetMapCommitAddress() { return m_pMapCommitAddress; }

  CString m_strFileName;
  uint32_t m_nFileSize = 0;
  void* m_pMapAddress = nullptr;
  uint8_t* m_pConvBase = nullptr;
  void* m_pMapCommitAddress = nullptr;

 private:
  void Map(std::vector<uint8_t> data, uint32_t mode, const char* name, _QVEEdtFileHeader** header);

  std::vector<uint8_t> data_;
  uint32_t mode_ = 0;
  QVEEngTextWriter work_;
};

// Finds the record with a four-letter name and an index: 0 and its address
// inside the mapping (and its size when size is not null), or
// ERROR_FILE_CORRUPT when there is none.
uint32_t QVEEdaEdtFindData(_QVEEdtFileHeader* header, const char* name, uint32_t index, void** record,
                           uint32_t* size = nullptr);

// Builds a file image from a kind, a name and records (name, index, bytes).
struct QVEEdaRecord {
  CString name;
  uint32_t index = 0;
  std::vector<uint8_t> bytes;
};
std::vector<uint8_t> QVEEdaBuildFile(uint32_t kind, const CString& name, const std::vector<QVEEdaRecord>& records);
