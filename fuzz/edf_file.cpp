// The data-file reader with every accessor, and the header-record
// operations on a fuzzed recipe header: nothing outside the file is read or
// written, a file that does not read is never written, and what is written
// reads back.
#include <cstring>

#include "FuzzSupport.h"
#include "LibQVBRcpEpa.h"
#include "libqveeda/QVEEdaFile.h"

namespace {

using qvfuzz::Require;

const std::string& RecipeDir() {
  static const std::string dir = [] {
    std::string d = qvfuzz::ScratchDir() + "/P/Recipe/RG01/RCP0001";
    qvfuzz::MakeDirs(d);
    return d;
  }();
  return dir;
}

bool Inside(const void* p, uint32_t size, const CQVEEdaFileMap& map, const std::vector<uint8_t>& copy) {
  const auto* begin = static_cast<const uint8_t*>(map.m_pMapAddress);
  const auto* at = static_cast<const uint8_t*>(p);
  return at >= begin + QVEEDA_HEADER_SIZE && at + size <= begin + copy.size();
}

// Every directory entry, and the names the store asks for, through the
// accessors of a read-only mapping.
void ReadEveryRecord(const std::string& path, const uint8_t* data, size_t size) {
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  if (map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0) != 0) return;
  const std::vector<uint8_t> copy(data, data + size);
  Require(map.GetFileSize() == size, "the mapped size differs from the file");
  const uint32_t count = QVEEdaGetU32(header, QVEEDA_OFF_RECORDS);
  const uint32_t directory = QVEEdaGetU32(header, QVEEDA_OFF_DIRECTORY);
  auto look = [&](const char* name, uint32_t index) {
    void* record = nullptr;
    uint32_t length = 0;
    if (QVEEdaEdtFindData(header, name, index, &record, &length) != 0) return;
    Require(Inside(record, length, map, copy), "a record lies outside the file or on its header");
    void* offset = map.ConvFileAddr(record);
    Require(map.ConvMapAddr(offset) == record, "address conversions disagree");
    QVEEdaGetText(record, 0, length < 64 ? length : 64);
  };
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = copy.data() + directory + i * QVEEDA_DIRECTORY_ENTRY;
    char name[5] = {};
    std::memcpy(name, entry, 4);
    look(name, QVEEdaGetU32(entry, 4));
  }
  for (uint32_t i = 0; i <= QVERCP_UNITS; ++i) look("URCB", i);
  look("MRCB", 0);
  look("PRCB", 0);
  QVEEdaGetText(header, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH);
}

_QVERcpFileDetailInfo NewTexts() {
  _QVERcpFileDetailInfo info;
  info.strHeadName = "HEAD";
  info.strTitle = "Title";
  info.strComment = "Comment, longer than the field's sixty-four bytes so that it is cut short";
  for (int i = 0; i < QVERCP_UNITS; ++i) info.strUnitComment[i] = "Unit " + std::to_string(i);
  return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string head = RecipeDir() + "/RcpHead.edf";
  qvfuzz::WriteFile(head, data, size);
  ReadEveryRecord(head, data, size);

  uint32_t kind = 0;
  _QVERcpFileDetailInfo info;
  const uint32_t readRc = CQVERcpUtil::GetRcpFileInfo(head.c_str(), &kind, &info);
  uint32_t recipeNo = 0;
  _QVERcpFileDetailInfo again;
  Require(CQVERcpUtil::GetRcpInfo(RecipeDir().c_str(), &recipeNo, &again) == readRc, "two reads disagree");
  CQVERcpFileInfoArray files;
  Require(CQVERcpUtil::GetFileList(RecipeDir().c_str(), files) == 0, "the listing failed");

  const _QVERcpFileDetailInfo texts = NewTexts();
  const uint32_t writeRc = CQVERcpUtil::SetRcpInfo(RecipeDir().c_str(), &texts);
  Require(!qvfuzz::Exists(head + ".new"), "a work file was left behind");
  if (readRc != 0) {
    Require(writeRc != 0, "a file that does not read was written");
    Require(qvfuzz::ReadFile(head) == std::string(reinterpret_cast<const char*>(data), size), "a refused file changed");
    return 0;
  }
  Require(writeRc == 0, "a file that reads could not be written");
  _QVERcpFileDetailInfo back;
  Require(CQVERcpUtil::GetRcpFileInfo(head.c_str(), nullptr, &back) == 0, "a written file does not read");
  Require(back.strHeadName == "HEAD", "the header name reads back otherwise");
  if (kind == QVERCP_FILE_HEADER) {
    Require(back.strTitle == "Title" && back.strComment == texts.strComment.substr(0, 64), "texts read back otherwise");
    for (int i = 0; i < QVERCP_UNITS; ++i) Require(back.strUnitComment[i] == texts.strUnitComment[i], "a unit text");
  }
  Require(CQVERcpUtil::SetRcpHeadVersion(head.c_str()) == 0, "advancing the version failed");
  Require(!qvfuzz::Exists(head + ".new"), "a work file was left behind");
  return 0;
}
