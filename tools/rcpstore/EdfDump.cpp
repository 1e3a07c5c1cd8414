// rcpstore edf dump: the header fields and records of an EDF file.
#include "LibQVBRcpEpa.h"
#include "Output.h"
#include "libqveeda/QVEEdaFile.h"

namespace rcpstore {

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

// The fields of the records the store knows; others in hex.
JsonObject RecordFields(const std::string& name, const uint8_t* p, uint32_t size) {
  JsonObject fields;
  if (name == "MRCB" && size >= 0x138) {
    fields.Field("title", QVEEdaGetText(p, 0x00, 16))
        .Field("created", static_cast<int64_t>(static_cast<int32_t>(QVEEdaGetU32(p, 0x10))))
        .Field("comment", QVEEdaGetText(p, 0x20, 64))
        .Field("version", QVEEdaGetText(p, 0x80, 16))
        .Field("author", QVEEdaGetText(p, 0x90, 32))
        .Field("versionTime", static_cast<int64_t>(static_cast<int32_t>(QVEEdaGetU32(p, 0x134))));
  } else if (name == "URCB" && size >= 0x20) {
    fields.Field("text", QVEEdaGetText(p, 0x08, 24));
  } else {
    fields.Field("hex", Hex(p, size));
  }
  return fields;
}

}  // namespace

int DumpEdf(const std::string& path, bool json) {
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  if (uint32_t rc = map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0)) {
    return ReportFailure("edf dump " + path, {CodeMeaning(rc), rc});
  }
  const uint8_t* h = header->bytes;
  uint32_t count = QVEEdaGetU32(h, QVEEDA_OFF_RECORDS);
  uint32_t directory = QVEEdaGetU32(h, QVEEDA_OFF_DIRECTORY);
  std::string records = "[";
  std::string text;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = h + directory + i * QVEEDA_DIRECTORY_ENTRY;
    std::string name = QVEEdaGetText(entry, 0, 4);
    uint32_t index = QVEEdaGetU32(entry, 4);
    uint32_t offset = QVEEdaGetU32(entry, 8);
    uint32_t size = QVEEdaGetU32(entry, 12);
    JsonObject fields = RecordFields(name, h + offset, size);
    records += (i > 0 ? "," : "") + JsonObject()
                                        .Field("name", name)
                                        .Field("index", static_cast<int64_t>(index))
                                        .Field("offset", static_cast<int64_t>(offset))
                                        .Field("size", static_cast<int64_t>(size))
                                        .Raw("fields", fields.Text())
                                        .Text();
    text += "\n" + name + "[" + std::to_string(index) + "] at " + std::to_string(offset) + ", " +
            std::to_string(size) + " bytes: " + fields.Text();
  }
  std::string revision = std::to_string(h[QVEEDA_OFF_REVISION + 2]) + "." + std::to_string(h[QVEEDA_OFF_REVISION + 1]) +
                         "." + std::to_string(h[QVEEDA_OFF_REVISION]);
  JsonObject head;
  head.Field("size", static_cast<int64_t>(QVEEdaGetU32(h, QVEEDA_OFF_SIZE)))
      .Field("kind", static_cast<int64_t>(QVEEdaGetU32(h, QVEEDA_OFF_KIND)))
      .Field("name", QVEEdaGetText(h, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH))
      .Field("revision", revision)
      .Field("written", static_cast<int64_t>(static_cast<int32_t>(QVEEdaGetU32(h, QVEEDA_OFF_WRITTEN))))
      .Field("updated", static_cast<int64_t>(static_cast<int32_t>(QVEEdaGetU32(h, QVEEDA_OFF_UPDATED))));
  if (json) return PrintLine(JsonObject().Raw("header", head.Text()).Raw("records", records + "]").Text());
  return PrintLine("header: " + head.Text() + text);
}

}  // namespace rcpstore
