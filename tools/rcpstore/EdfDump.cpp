// rcpstore edf dump: the header fields and records of an EDF file.
#include "Describe.h"
#include "LibQVBRcpEpa/Edf.h"
#include "LibQVBRcpEpa/Target.h"
#include "Output.h"
#include "Report.h"

namespace rcpstore::cli {

namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 15];
  }
  return out;
}

Json RecordFields(const EdfRecord& record) {
  switch (record.kind) {
    case EdfRecord::Kind::kMain:
      return Json{{"title", JsonText(record.title)},          {"created", IsoTime(record.created)},
                  {"comment", JsonText(record.comment)},      {"version", record.version},
                  {"author", JsonText(record.author)},        {"versionTime", IsoTime(record.versionTime)}};
    case EdfRecord::Kind::kUnit: return Json{{"text", JsonText(record.text)}};
    case EdfRecord::Kind::kOther: break;
  }
  return Json{{"hex", Hex(record.bytes)}};
}

// An address names the header of a recipe, or a unit recipe file.
std::string EdfPath(const std::string& given) {
  if (!IsAddress(given)) return given;
  if (ParseAddress(given).unitNo == 0) return RecipeTarget(given).recipe + "/RcpHead.edf";
  return PathOfAddress(ParseAddress(given));
}

}  // namespace

int DumpEdf(const std::string& given) {
  return Run("edf dump " + given, [&] {
    EdfFile file = ReadEdf(EdfPath(given));
    Json records = Json::array();
    std::string text;
    for (const EdfRecord& record : file.records) {
      Json fields = RecordFields(record);
      records.push_back(Json{{"name", JsonText(record.name)}, {"index", record.index}, {"offset", record.offset},
                             {"size", record.size}, {"fields", fields}});
      text += "\n" + record.name + "[" + std::to_string(record.index) + "] at " + std::to_string(record.offset) +
              ", " + std::to_string(record.size) + " bytes: " + fields.dump();
    }
    Json head{{"size", file.size},          {"fileKind", file.kind},           {"name", JsonText(file.name)},
              {"revision", file.revision},  {"written", IsoTime(file.written)}, {"updated", IsoTime(file.updated)}};
    if (Output().json) return PrintJson(Json{{"path", JsonText(file.path)}, {"header", head}, {"records", records}});
    return PrintLine("header: " + head.dump() + text);
  });
}

}  // namespace rcpstore::cli
