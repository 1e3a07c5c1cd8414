// rcpstore edf dump: the header fields and records of an EDF file.
#include "LibQVBRcpEpa.h"
#include "Describe.h"
#include "Output.h"
#include "RcpRecipeHead.h"
#include "Report.h"
#include "LibQVBRcpEpa/Target.h"
#include "libqveeda/QVEEdaFile.h"

namespace rcpstore::cli {

namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

int32_t Time(const uint8_t* p, size_t offset) { return static_cast<int32_t>(QVEEdaGetU32(p, offset)); }

// The fields of the records the store knows; others in hex.
Json RecordFields(const std::string& name, const uint8_t* p, uint32_t size) {
  using namespace rcprecipe;
  if (name == "MRCB" && size >= kMainRecordSize) {
    return Json{{"title", JsonText(QVEEdaGetText(p, kTitle, kTitleWidth))},
                {"created", IsoTime(Time(p, kCreated))},
                {"comment", JsonText(QVEEdaGetText(p, kComment, kCommentWidth))},
                {"version", std::strtoll(QVEEdaGetText(p, kVersion, kVersionWidth).c_str(), nullptr, 10)},
                {"author", JsonText(QVEEdaGetText(p, kAuthor, kAuthorWidth))},
                {"versionTime", IsoTime(Time(p, kVersionTime))}};
  }
  if (name == "URCB" && size >= kUnitRecordSize) return Json{{"text", JsonText(QVEEdaGetText(p, kUnitText, kUnitTextWidth))}};
  return Json{{"hex", Hex(p, size)}};
}

const char* FileKind(uint32_t kind) {
  return kind == QVERCP_FILE_HEADER ? "header" : kind == QVERCP_FILE_UNIT ? "unit" : "other";
}

}  // namespace

int DumpEdf(const std::string& given) {
  return Run("edf dump " + given, [&] {
    // An address names the header of a recipe, or a unit recipe file.
    std::string path = IsAddress(given) ? PathOfAddress(ParseAddress(given)) : given;
    if (IsAddress(given) && ParseAddress(given).unitNo == 0) path = RecipeTarget(given).recipe + "/RcpHead.edf";
    CQVEEdaFileMap map;
    _QVEEdtFileHeader* header = nullptr;
    Check(map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0));
    const uint8_t* h = header->bytes;
    uint32_t count = QVEEdaGetU32(h, QVEEDA_OFF_RECORDS);
    uint32_t directory = QVEEdaGetU32(h, QVEEDA_OFF_DIRECTORY);
    Json records = Json::array();
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* entry = h + directory + i * QVEEDA_DIRECTORY_ENTRY;
      std::string name = QVEEdaGetText(entry, 0, 4);
      uint32_t index = QVEEdaGetU32(entry, 4);
      uint32_t offset = QVEEdaGetU32(entry, 8);
      uint32_t size = QVEEdaGetU32(entry, 12);
      Json fields = RecordFields(name, h + offset, size);
      records.push_back(Json{{"name", JsonText(name)}, {"index", index}, {"offset", offset}, {"size", size},
                             {"fields", fields}});
      text += "\n" + name + "[" + std::to_string(index) + "] at " + std::to_string(offset) + ", " +
              std::to_string(size) + " bytes: " + fields.dump();
    }
    std::string revision = std::to_string(h[QVEEDA_OFF_REVISION + 2]) + "." +
                           std::to_string(h[QVEEDA_OFF_REVISION + 1]) + "." + std::to_string(h[QVEEDA_OFF_REVISION]);
    Json head{{"size", QVEEdaGetU32(h, QVEEDA_OFF_SIZE)},
              {"fileKind", FileKind(QVEEdaGetU32(h, QVEEDA_OFF_KIND))},
              {"name", JsonText(QVEEdaGetText(h, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH))},
              {"revision", revision},
              {"written", IsoTime(Time(h, QVEEDA_OFF_WRITTEN))},
              {"updated", IsoTime(Time(h, QVEEDA_OFF_UPDATED))}};
    if (Output().json) return PrintJson(Json{{"path", JsonText(path)}, {"header", head}, {"records", records}});
    return PrintLine("header: " + head.dump() + text);
  });
}

}  // namespace rcpstore::cli
