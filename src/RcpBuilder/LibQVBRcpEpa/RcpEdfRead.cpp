#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Edf.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Target.h"
#include "RcpEdfImage.h"
#include "RcpRecipeHead.h"
#include "libqveeda/QVEEdaFile.h"

namespace rcpstore {

namespace {

int32_t Time(const uint8_t* p, size_t offset) { return static_cast<int32_t>(QVEEdaGetU32(p, offset)); }

// The fields of the records the store knows; others as they are.
void Decode(const uint8_t* p, EdfRecord* record) {
  using namespace rcprecipe;
  if (record->name == "MRCB" && record->size >= kMainRecordSize) {
    record->kind = EdfRecord::Kind::kMain;
    record->title = QVEEdaGetText(p, kTitle, kTitleWidth);
    record->created = Time(p, kCreated);
    record->comment = QVEEdaGetText(p, kComment, kCommentWidth);
    record->version = std::strtoll(QVEEdaGetText(p, kVersion, kVersionWidth).c_str(), nullptr, 10);
    record->author = QVEEdaGetText(p, kAuthor, kAuthorWidth);
    record->versionTime = Time(p, kVersionTime);
  } else if (record->name == "URCB" && record->size >= kUnitRecordSize) {
    record->kind = EdfRecord::Kind::kUnit;
    record->text = QVEEdaGetText(p, kUnitText, kUnitTextWidth);
  } else {
    record->bytes.assign(reinterpret_cast<const char*>(p), record->size);
  }
}

const char* FileKind(uint32_t kind) {
  return kind == QVERCP_FILE_HEADER ? "header" : kind == QVERCP_FILE_UNIT ? "unit" : "other";
}

// The map checks the header and the record directory against the file's
// size when it opens it, so every offset read here lies inside the file.
EdfFile Decoded(const _QVEEdtFileHeader* header, const std::string& path) {
  const uint8_t* h = header->bytes;
  EdfFile file;
  file.path = path;
  uint32_t count = QVEEdaGetU32(h, QVEEDA_OFF_RECORDS);
  uint32_t directory = QVEEdaGetU32(h, QVEEDA_OFF_DIRECTORY);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = h + directory + i * QVEEDA_DIRECTORY_ENTRY;
    EdfRecord record;
    record.name = QVEEdaGetText(entry, 0, 4);
    record.index = QVEEdaGetU32(entry, 4);
    record.offset = QVEEdaGetU32(entry, 8);
    record.size = QVEEdaGetU32(entry, 12);
    Decode(h + record.offset, &record);
    file.records.push_back(record);
  }
  file.revision = std::to_string(h[QVEEDA_OFF_REVISION + 2]) + "." + std::to_string(h[QVEEDA_OFF_REVISION + 1]) + "." +
                  std::to_string(h[QVEEDA_OFF_REVISION]);
  file.size = QVEEdaGetU32(h, QVEEDA_OFF_SIZE);
  file.kind = FileKind(QVEEdaGetU32(h, QVEEDA_OFF_KIND));
  file.name = QVEEdaGetText(h, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH);
  file.written = Time(h, QVEEDA_OFF_WRITTEN);
  file.updated = Time(h, QVEEDA_OFF_UPDATED);
  return file;
}

}  // namespace

EdfFile ReadEdf(const std::string& given) {
  std::string path = given;
  if (IsAddress(given)) {
    Address address = ParseAddress(given);
    path = address.unitNo == 0 ? RecipeTarget(given).recipe + "/RcpHead.edf" : PathOfAddress(address);
  }
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  Check(map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0));
  return Decoded(header, path);
}

EdfFile EdfOfImage(const std::string& bytes) {
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  Check(map.OpenImage(std::vector<uint8_t>(bytes.begin(), bytes.end()), &header));
  return Decoded(header, "");
}

}  // namespace rcpstore
