// The small shared classes: the ordered unsigned array, the mapped file's
// address conversions, the project CSV files, the set of data files written
// back together; and the module frame of a program that links the library
// statically.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "LibQVCCommon/QVCMessage.h"
#include "QVEEdaClasses.h"
#include "QVModule.h"
#include "RcpHeaderCache.h"
#include "TestSupport.h"
#include "libqveeda/QVEEdaCsv.h"

namespace {

using qvtest::TempDir;

std::vector<unsigned> Values(const CQVEEdaUIntArray& array) { return {array.begin(), array.end()}; }

CQVEEdaUIntArray Of(std::initializer_list<unsigned> values) {
  CQVEEdaUIntArray array;
  for (unsigned v : values) array.Add(v);
  return array;
}

TEST(UIntArrayTest, InsertKeepsOrderAndDeleteTakesTheFirstEqual) {
  struct Case {
    std::initializer_list<unsigned> before;
    unsigned value;
    int index;
    std::vector<unsigned> after;
  };
  // Insert places a value before the first larger one and returns 1, or
  // appends it and returns its index.
  for (const Case& c : {Case{{}, 4, 0, {4}}, Case{{1, 3, 7}, 5, 1, {1, 3, 5, 7}}, Case{{1, 3, 7}, 9, 3, {1, 3, 7, 9}},
                        Case{{1, 3, 7}, 3, 1, {1, 3, 3, 7}}, Case{{1, 3, 7}, 0, 1, {0, 1, 3, 7}}}) {
    CQVEEdaUIntArray array = Of(c.before);
    EXPECT_EQ(array.Insert(c.value), c.index) << c.value;
    EXPECT_EQ(Values(array), c.after) << c.value;
  }
  // Delete removes the first equal value and says whether it found one.
  for (const Case& c : {Case{{2, 5, 2}, 2, 1, {5, 2}}, Case{{2, 5, 2}, 9, 0, {2, 5, 2}}, Case{{}, 0, 0, {}}}) {
    CQVEEdaUIntArray array = Of(c.before);
    EXPECT_EQ(array.Delete(c.value), c.index) << c.value;
    EXPECT_EQ(Values(array), c.after) << c.value;
  }
  CQVEEdaUIntArray many = Of({1, 2, 3, 4, 5});
  many.RemoveAt(1, 3);
  EXPECT_EQ(Values(many), (std::vector<unsigned>{1, 5}));
}

std::string WriteEdf(const TempDir& dir, const char* name) {
  const std::string path = dir / name;
  const std::vector<uint8_t> image = QVEEdaBuildFile(1, name, {{"MRCB", 0, std::vector<uint8_t>(16, 7)}});
  qvtest::WriteFile(path, std::string(image.begin(), image.end()));
  return path;
}

TEST(FileMapTest, AddressConversionsAndTheirNullRules) {
  CQVEEdaFileMap unmapped;
  EXPECT_EQ(unmapped.ConvMapAddr(nullptr), nullptr);
  EXPECT_EQ(unmapped.ConvFileAddr(nullptr), nullptr);
  EXPECT_EQ(unmapped.ConvMapAddr2(nullptr), nullptr) << "the base of an unmapped file";

  TempDir dir;
  const std::string path = WriteEdf(dir, "A.edf");
  CQVEEdaFileMap map;
  _QVEEdtFileHeader* header = nullptr;
  ASSERT_EQ(map.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0), 0u);
  auto* base = reinterpret_cast<uint8_t*>(header);
  EXPECT_EQ(map.ConvMapAddr(nullptr), nullptr);
  EXPECT_EQ(map.ConvFileAddr(nullptr), nullptr);
  EXPECT_EQ(map.ConvMapAddr2(nullptr), base) << "offset 0 is the base";
  void* offset = reinterpret_cast<void*>(uintptr_t{0x24});
  EXPECT_EQ(map.ConvMapAddr(offset), base + 0x24);
  EXPECT_EQ(map.ConvFileAddr(base + 0x24), offset);
}

CQVEEdaRefCom Record(unsigned no, const std::string& name, const std::string& text) {
  CQVEEdaRefCom record;
  record.m_nNo = no;
  std::memcpy(record.m_szName, name.data(), std::min(name.size(), sizeof record.m_szName));
  std::memcpy(record.m_szText, text.data(), std::min(text.size(), sizeof record.m_szText));
  return record;
}

std::vector<CStringArray> CsvLines(const std::string& path) {
  std::vector<CStringArray> lines;
  std::string text = qvtest::ReadFile(path);
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    CStringArray items;
    QVEEdaCsvParseLine(text.substr(at, end - at).c_str(), items);
    lines.push_back(items);
    at = end + 2;
  }
  return lines;
}

TEST(CsvFileTest, WritesHeadAndRecordsInOneStepAndKeepsTheOldFileUntilClose) {
  TempDir dir;
  const std::string path = dir / "SwitchLabel.csv";
  qvtest::WriteFile(path, "old\r\n");
  {
    CQVEEdaSWLabelCSVFile file;
    ASSERT_EQ(file.Open(path.c_str()), 0u);
    EXPECT_NE(file.Open(path.c_str()), 0u) << "already open";
    CQVEEdaRefCom quoted = Record(1, "SW,1", "on \"run\"");
    CQVEEdaRefCom full = Record(2, std::string(32, 'N'), "");
    ASSERT_EQ(file.Write(&quoted), 0u);
    ASSERT_EQ(file.Write(&full), 0u);
    EXPECT_EQ(qvtest::ReadFile(path), "old\r\n") << "not in place before Close";
    file.Close();
    EXPECT_EQ(file.LastError(), 0u);
  }
  const std::vector<CStringArray> lines = CsvLines(path);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], (CStringArray{"FileID", std::to_string(0x2470)}));
  EXPECT_EQ(lines[1], (CStringArray{"No", "Label", "Comment"}));
  EXPECT_EQ(lines[2], (CStringArray{"1", "SW,1", "on \"run\""}));
  EXPECT_EQ(lines[3], (CStringArray{"2", std::string(32, 'N'), ""})) << "a name filling its field";

  {
    CQVEEdaEngUnitCSVFile units;
    ASSERT_EQ(units.Open(path.c_str()), 0u);
    CQVEEdaRefCom unit = Record(3, "kg", "mass");
    ASSERT_EQ(units.Write(&unit), 0u);
    EXPECT_NE(units.Write(nullptr), 0u);
  }  // dropped without Close
  EXPECT_EQ(CsvLines(path).size(), 4u) << "the old file stays whole";
  EXPECT_FALSE(qvtest::Exists(path + ".new"));
}

TEST(TFDataTest, CommitAllWritesBackEveryMapping) {
  TempDir dir;
  const std::string a = WriteEdf(dir, "A.edf");
  const std::string b = WriteEdf(dir, "B.edf");
  CQVEEdaFileMap mapA;
  CQVEEdaFileMap mapB;
  _QVEEdtFileHeader* headerA = nullptr;
  _QVEEdtFileHeader* headerB = nullptr;
  ASSERT_EQ(mapA.Open(a.c_str(), QVEEDA_MODE_READWRITE, &headerA, 1), 0u);
  ASSERT_EQ(mapB.Open(b.c_str(), QVEEDA_MODE_READWRITE, &headerB, 1), 0u);
  QVEEdaPutText(headerA, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH, "NEWA");
  QVEEdaPutText(headerB, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH, "NEWB");
  CQVEEdaTFDATA set;
  set.m_files = {&mapA, nullptr, &mapB};
  EXPECT_EQ(set.CommitAllFiles(), 0u);
  for (const auto& [path, name] : {std::pair{a, "NEWA"}, std::pair{b, "NEWB"}}) {
    CQVEEdaFileMap check;
    _QVEEdtFileHeader* header = nullptr;
    ASSERT_EQ(check.Open(path.c_str(), QVEEDA_MODE_READ, &header, 0), 0u);
    EXPECT_EQ(QVEEdaGetText(header, QVEEDA_OFF_NAME, QVEEDA_NAME_WIDTH), name);
  }
}

TEST(StaticModuleFrameTest, AProgramLinkingTheArchiveStartsTheFrame) {
  const CStringArray names = QVModuleChainNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "LibQVBRcpEpa"), names.end());
  EXPECT_NE(QVCLoadString(QVC_MSG_LOCKED_BY), "");
  EXPECT_NE(QVCLoadString(16724), "");
  EXPECT_EQ(QVCLoadString(4), "");
}

TEST(HeaderCacheTest, EachThreadHasItsOwnAndUnloadingDestroysThemAll) {
  RcpThreadHeaderCache().directory = "main";
  std::thread other([] {
    EXPECT_EQ(RcpThreadHeaderCache().directory, "");
    RcpThreadHeaderCache().directory = "other";
  });
  other.join();  // its cache goes with it (a leak would show under LeakSanitizer)
  EXPECT_EQ(RcpThreadHeaderCache().directory, "main");
  std::thread kept([] { RcpThreadHeaderCache().directory = "kept"; });
  kept.join();
  RcpDestroyHeaderCaches();
  EXPECT_EQ(RcpThreadHeaderCache().directory, "") << "made afresh after the unload's destruction";
}

}  // namespace
