// The engineering path catalogue: which core operation each member calls,
// with which key and arguments, and the paths the key table gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "RcpstoreRun.h"
#include "TestSupport.h"
#include "libqveeda/QVEFilePathCatalogue.h"
#include "libqveeda/QVEFilePathKeys.h"
#include "platform/Win32Types.h"

namespace {

using qvtest::TempDir;

const char* Shown(const char* text) { return text != nullptr ? text : "null"; }

// A resolver that records each core operation it is asked for, in the
// catalogue's argument order, and resolves nothing.
class RecordingResolver : public CQVEFilePath {
 public:
  std::string trace;
  CString* out = nullptr;
  bool outPassedOn = true;

  uint32_t GetTmplFilePath(const char* key, const char* name, CString* path) override {
    return Record(path, "GetTmplFilePath", {key, name});
  }
  uint32_t GetUDFTmplFolderPath(const char* key, const char* owner, CString* path) override {
    return Record(path, "GetUDFTmplFolderPath", {key, owner});
  }
  uint32_t GetUDFTmplFilePath(const char* key, const char* file, const char* owner, CString* path) override {
    return Record(path, "GetUDFTmplFilePath", {key, file, owner});
  }
  uint32_t GetUDFTmplFilePath1(unsigned n, const char* key, const char* file, const char* owner,
                               CString* path) override {
    return Record(path, "GetUDFTmplFilePath1", {std::to_string(n), key, file, owner});
  }
  uint32_t GetSystemFilePath(const char* key, CString* path) override {
    return Record(path, "GetSystemFilePath", {key});
  }
  uint32_t GetSystemFolderPath(const char* key, CString* path) override {
    return Record(path, "GetSystemFolderPath", {key});
  }
  uint32_t GetFCSFilePath(const char* station, const char* key, CString* path) override {
    return Record(path, "GetFCSFilePath", {station, key});
  }
  uint32_t GetFCSFilePath(const char* station, const char* file, const char* key, CString* path) override {
    return Record(path, "GetFCSFilePath", {station, file, key});
  }
  uint32_t GetHISFilePath(const char* station, const char* key, CString* path) override {
    return Record(path, "GetHISFilePath", {station, key});
  }
  uint32_t GetSTNFolderPath(const char* station, const char* key, CString* path) override {
    return Record(path, "GetSTNFolderPath", {station, key});
  }
  uint32_t GetSTNFilePath(const char* station, const char* key, const char* file, CString* path) override {
    return Record(path, "GetSTNFilePath", {station, key, file});
  }
  uint32_t GetPath(const char* station, unsigned n1, unsigned n2, unsigned n3, const char* key, const char* file,
                   CString* path) override {
    return Record(path, "GetPath",
                  {station, std::to_string(n1), std::to_string(n2), std::to_string(n3), key, file});
  }

 protected:
  // A station number the test can recognise where it is passed on.
  uint32_t GetStnNo(const char* station, uint8_t& number) override {
    trace += std::string("GetStnNo(") + Shown(station) + ") ";
    number = 42;
    return 0;
  }

 private:
  struct Arg {
    std::string text;
    Arg(const char* t) : text(Shown(t)) {}
    Arg(std::string t) : text(std::move(t)) {}
  };

  // Each call answers with a result of its own, so that a member that does
  // not hand the result back unchanged is seen.
  uint32_t Record(CString* path, const char* operation, std::initializer_list<Arg> args) {
    outPassedOn = outPassedOn && path == out;
    trace += operation;
    trace += '(';
    for (const Arg& arg : args) trace += arg.text + (&arg != args.end() - 1 ? "," : "");
    trace += ')';
    return 0x5000 + static_cast<uint32_t>(trace.size());
  }
};

// One member of each pattern (and each form of a member that chooses between
// a file and a folder): "member(args) -> what it asks of the resolver", an
// optional argument left out being null.
const char kExpectedCalls[] = R"(
GetTmplStnInfoPath() -> GetTmplFilePath(DATINFO,null)
GetFDAHISTDBDefaultPath() -> GetTmplFilePath(DATFDAHISTDBDEF,null)
GetTmplStnDefPath(n) -> GetTmplFilePath(DATSTN,n)
GetTmplENGHatchPath(n) -> GetTmplFilePath(DATENGHATCH,n)
GetTmplENGHatchPath() -> GetUDFTmplFolderPath(HATCHDEFAULT,QVSystem)
GetTmplProjectDefaultPath(QVUser) -> GetUDFTmplFolderPath(PJTDEFAULT,QVUser)
GetTmplSTNPubTaglistPath(QVUser) -> GetUDFTmplFilePath(STNPUBTAG,null,QVUser)
GetTmplGraphicPartsPath(QVUser,f.txt) -> GetUDFTmplFilePath(ENGPARTS,f.txt,QVUser)
GetTmplACGProgPath(QVUser,f.txt) -> GetUDFTmplFilePath(ACGSYS,f.txt,QVUser)
GetTmplACGProgPath(QVUser) -> GetUDFTmplFolderPath(ACGSYS,QVUser)
GetTmplACGShortCutPath(QVUser,RCPHEAD) -> GetUDFTmplFilePath(RCPHEAD,null,QVUser)
GetTmplACGShortCutPath(QVUser) -> GetUDFTmplFolderPath(ACGSHORT,QVUser)
GetTmplHISTrendDspAssignPath(QVUser,7) -> GetUDFTmplFilePath1(7,HISTRDDSPASGN,null,QVUser)
GetSystemAttributePath() -> GetSystemFilePath(SYPJTATR)
GetFDAInfoFilePath() -> GetSystemFilePath(FDAINFOFILE)
GetMultFileGenLockPath() -> GetSystemFilePath(SYLOCKA)
GetSystemEtcPath(SYCST) -> GetSystemFilePath(SYCST)
GetSystemEtcPath() -> GetSystemFolderPath(ETC)
GetSystemMatrixEDFPath(7) -> GetPath(null,7,0,0,MTXEDF,null)
GetSystemBatchRGPath(7,f.txt) -> GetPath(null,7,0,0,SYBATRG,f.txt)
GetSystemBatchRGPath(7) -> GetPath(null,7,0,0,SYFOLDERBATRG,null)
GetSystemBatchCommPath(7) -> GetPath(null,7,0,0,SYBATCOM,null)
GetSystemBatchCommPath(0) -> GetPath(null,0,0,0,SYFOLDERBATCOM,null)
GetTAVEXIncPath(n) -> GetPath(null,0,0,0,SYTAVEXINC,n)
GetTAVEXIncPath() -> GetPath(null,0,0,0,SYFOLDERTAVEXINC,null)
GetSystemTagRefrencePath(FCS0102) -> GetFCSFilePath(FCS0102,FCTAGREFRDB)
GetFCSProgPath2(FCS0102,f.txt) -> GetFCSFilePath(FCS0102,f.txt,FCPROGRAM2)
GetFCSMatrixDefPath(FCS0102,f.txt) -> GetFCSFilePath(FCS0102,f.txt,FCMTX)
GetFCSMatrixDefPath(FCS0102,12) -> GetFCSFilePath(FCS0102,Matrix12,FCMTX)
GetFCSSeqLibFuncTypePath(FCS0102,f.txt) -> GetFCSFilePath(FCS0102,f.txt,FCSEQFUNC)
GetFCSSeqLibFuncTypePath(FCS0102) -> GetFCSFilePath(FCS0102,FCFOLDERSEQLIBFNC)
GetFCSTPPath(FCS0102,f.txt) -> GetPath(FCS0102,0,0,0,FCTPS,f.txt)
GetFCSCommDataWBPath(FCS0102,7) -> GetPath(FCS0102,7,0,0,FCCOMMDATAWB,null)
GetFCSBLockPath(FCS0102) -> GetPath(FCS0102,0,0,0,FCLOCKB,null)
GetMultFileGenLockPath(FCS0102) -> GetPath(FCS0102,0,0,0,FCMULTGENLOCK,null)
GetFCSPRMsgPath(FCS0102) -> GetStnNo(FCS0102) GetPath(FCS0102,42,0,0,FCSQM,null)
GetHISRefrencePath(FCS0102) -> GetHISFilePath(FCS0102,OPREFRDB)
GetSTNEtcTopPath(FCS0102) -> GetSTNFolderPath(FCS0102,ETC)
GetSTNTagListPath(FCS0102,f.txt) -> GetSTNFilePath(FCS0102,TAGLIST,f.txt)
GetSTNTagListPath(FCS0102) -> GetSTNFolderPath(FCS0102,TAGLIST)
)";

struct Call {
  const QVEFilePathMember* member;
  std::vector<std::string> args;
  std::string trace;  // expected, for the rows above
};

std::vector<std::string> Words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool IsDigits(const std::string& text) { return text.find_first_not_of("0123456789") == std::string::npos; }

// The form of a member that the arguments are meant for: the count fits and
// a number form is given digits.
const QVEFilePathMember* FormFor(const std::string& name, const std::vector<std::string>& args) {
  const QVEFilePathMember* found = nullptr;
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    if (name != member.name) continue;
    const std::vector<std::string> words = Words(member.arguments);
    const size_t optional = !words.empty() && words.back().front() == '[' ? 1 : 0;
    if (args.size() + optional < words.size() || args.size() > words.size()) continue;
    const bool numberForm = std::string(member.arguments).find("NUMBER") != std::string::npos;
    if (found == nullptr || (numberForm && IsDigits(args.back()))) found = &member;
  }
  return found;
}

std::vector<Call> ExpectedCalls() {
  std::vector<Call> calls;
  std::istringstream in(kExpectedCalls);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const size_t open = line.find('(');
    const size_t close = line.find(')');
    std::vector<std::string> args;
    std::istringstream list(line.substr(open + 1, close - open - 1));
    for (std::string arg; std::getline(list, arg, ',');) args.push_back(arg);
    calls.push_back({FormFor(line.substr(0, open), args), args, line.substr(line.find("-> ") + 3)});
  }
  return calls;
}

// Every form of every member, called with all its arguments and, when it
// has an optional one, without it.
std::vector<Call> EveryCall() {
  std::vector<Call> calls;
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    Call call{&member, {}, ""};
    bool optional = false;
    for (const std::string& word : Words(member.arguments)) {
      optional = word.front() == '[';
      if (optional) calls.push_back(call);
      const std::string bare = optional ? word.substr(1, word.size() - 2) : word;
      const bool ownerFirst = std::string(member.arguments).rfind("OWNER", 0) == 0;
      call.args.push_back(bare == "STATION" ? "FCS0102" : bare == "OWNER" ? "QVUser" : bare == "NUMBER" ? "7"
                          : bare == "KEY"   ? (ownerFirst ? "RCPHEAD" : "SYCST")
                          : bare == "FILE"  ? "f.txt" : "n");
    }
    calls.push_back(call);
  }
  return calls;
}

TEST(PathCatalogueTest, EveryMemberForwardsItsKeyAndArgumentsToOneCoreOperation) {
  ASSERT_EQ(QVEFilePathMembers().size(), 188u);
  // Exactly, for one member of each pattern.
  for (const Call& call : ExpectedCalls()) {
    ASSERT_NE(call.member, nullptr) << call.trace;
    RecordingResolver resolver;
    QVEFilePathArguments arguments{call.args};
    CString path;
    call.member->call(resolver, arguments, &path);
    EXPECT_EQ(resolver.trace, call.trace) << call.member->name;
  }
  // For every member: its own key, every argument passed on, the result and
  // the caller's path handed through untouched.
  for (const Call& call : EveryCall()) {
    const QVEFilePathMember& member = *call.member;
    if (member.key == nullptr) continue;  // the project's top directory, no core operation
    SCOPED_TRACE(std::string(member.name) + " " + member.arguments + " given " + std::to_string(call.args.size()));
    RecordingResolver resolver;
    CString path = "untouched";
    resolver.out = &path;
    QVEFilePathArguments arguments{call.args};
    const uint32_t rc = member.call(resolver, arguments, &path);
    const std::vector<std::string> words = Words(member.arguments);
    const bool all = call.args.size() == words.size();
    const bool keyGiven = all && !words.empty() && words.back() == "[KEY]";
    const std::string key = keyGiven ? call.args.back() : !all && member.folderKey ? member.folderKey : member.key;
    std::string tokens = "," + resolver.trace + ",";
    for (char& c : tokens) c = c == '(' || c == ')' || c == ' ' ? ',' : c;
    EXPECT_NE(tokens.find("," + key + ","), std::string::npos) << resolver.trace;
    for (size_t i = 0; i + (keyGiven ? 1 : 0) < call.args.size(); ++i) {
      EXPECT_NE(resolver.trace.find(call.args[i]), std::string::npos) << resolver.trace;
    }
    EXPECT_EQ(rc, 0x5000 + resolver.trace.size()) << "the core operation's result comes back unchanged";
    EXPECT_TRUE(resolver.outPassedOn) << "the caller's path is the one the core operation fills";
    EXPECT_EQ(path, "untouched");
  }
}

class PathResolverTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(resolver_.Init(dir_.path().c_str()), 0u); }
  TempDir dir_;
  CQVEFilePath resolver_;
};

// Every member resolves, against a real project, to a path inside the project
// or inside the template set it names: every key it uses is in the table.
TEST_F(PathResolverTest, EveryMemberResolvesInsideItsTree) {
  const std::string systemSet = QVETemplateRoot() + "/QVSystem/";
  for (const Call& call : EveryCall()) {
    if (call.member->key == nullptr) continue;  // the project's top directory itself
    SCOPED_TRACE(std::string(call.member->name) + " given " + std::to_string(call.args.size()));
    QVEFilePathArguments arguments{call.args};
    CString path;
    ASSERT_EQ(call.member->call(resolver_, arguments, &path), 0u);
    const bool inside = path.rfind(dir_.path() + "/", 0) == 0 || path.rfind(systemSet, 0) == 0;
    EXPECT_TRUE(inside) << path;
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_EQ(path.find("//"), std::string::npos) << path;
  }
}

TEST_F(PathResolverTest, EdgeCasesOfTheCatalogue) {
  CString a;
  CQVEFilePath slashed;
  ASSERT_EQ(slashed.Init((dir_.path() + "/").c_str()), 0u);
  EXPECT_EQ(slashed.GetProjectTopDir(), dir_.path());
  // A matrix number resolves as the name "Matrix<number>".
  ASSERT_EQ(resolver_.GetFCSMatrixDefPath("FCS0101", 12u, &a), 0u);
  EXPECT_EQ(a, dir_.path() + "/FCS0101/Matrix/Matrix12");
  // A batch recipe group's folder is the store's own group directory.
  ASSERT_EQ(resolver_.GetSystemBatchRGPath(3, nullptr, &a), 0u);
  EXPECT_EQ(a, dir_.path() + "/Recipe/RG03");
  EXPECT_EQ(resolver_.GetSystemBatchRGPath(0, nullptr, &a), QVC_ERR_CANNOT_EXECUTE);
  // The second argument of GetTmplInfoPath is a key, of GetTmplBatchPath a file.
  ASSERT_EQ(resolver_.GetTmplInfoPath("QVSystem", "RCPHEAD", &a), 0u);
  EXPECT_EQ(a, QVETemplateRoot() + "/QVSystem/RcpHead.edf");
  EXPECT_EQ(resolver_.GetTmplInfoPath("QVSystem", "RcpHead.edf", &a), QVEEDA_ERR_UNKNOWN_KEY);
  ASSERT_EQ(resolver_.GetTmplBatchPath("QVSystem", "RCPHEAD", &a), 0u);
  EXPECT_EQ(a, QVETemplateRoot() + "/QVSystem/Batch/RCPHEAD");
}

TEST_F(PathResolverTest, StationNumbersNameTheMessageFiles) {
  CString path = "kept";
  ASSERT_EQ(resolver_.GetFCSPRMsgPath("FCS0164", &path), 0u);
  EXPECT_EQ(path, dir_.path() + "/FCS0164/Message/PrMsg64.edf");
  ASSERT_EQ(resolver_.GetFCSEVMsgPath("HIS0203", &path), 0u);
  EXPECT_EQ(path, dir_.path() + "/HIS0203/Message/EvMsg03.edf");
  // A station without a number fails instead of naming some station's file.
  path = "kept";
  for (const char* station : {"FCS0165", "FCS0100", "FCS", "FCSab01x", "FCS01a1"}) {
    EXPECT_EQ(resolver_.GetFCSANMsgPath(station, &path), QVC_ERR_CANNOT_EXECUTE) << station;
    EXPECT_EQ(path, "kept");
  }
}

TEST_F(PathResolverTest, RefusesWhatNamesNoPathInsideTheTree) {
  CString path = "kept";
  EXPECT_EQ(resolver_.GetSystemFilePath("NOSUCHKEY", &path), QVEEDA_ERR_UNKNOWN_KEY);
  EXPECT_EQ(resolver_.GetSystemFilePath("FCPROGRAM", &path), QVEEDA_ERR_UNKNOWN_KEY) << "a station key";
  EXPECT_EQ(resolver_.GetSystemFilePath("ETC", &path), QVEEDA_ERR_UNKNOWN_KEY) << "a folder key";
  EXPECT_EQ(resolver_.GetFCSProgPath(nullptr, &path), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(resolver_.GetUDFTmplFilePath("SYCST", nullptr, "QVSystem", &path), QVEEDA_ERR_UNKNOWN_KEY);
  EXPECT_EQ(resolver_.GetTmplRcpPath("Other", nullptr, &path), QVC_ERR_CANNOT_EXECUTE);
  for (const char* name : {"..", ".", "", "a/b", "../../etc"}) {
    EXPECT_EQ(resolver_.GetFCSProgPath(name, &path), ERROR_INVALID_NAME) << name;
    EXPECT_EQ(resolver_.GetFCSTPPath("FCS0101", name, &path), ERROR_INVALID_NAME) << name;
    EXPECT_EQ(resolver_.GetTmplHISWndPath("QVUser", name, &path), ERROR_INVALID_NAME) << name;
  }
  EXPECT_EQ(resolver_.GetSystemMatrixEDFPath(0, &path), QVC_ERR_CANNOT_EXECUTE) << "a numbered key needs a number";
  EXPECT_EQ(path, "kept");

  CQVEFilePath templatesOnly;
  ASSERT_EQ(templatesOnly.InitNoProject(), 0u);
  EXPECT_EQ(templatesOnly.GetSystemAttributePath(&path), QVEEDA_ERR_NO_PROJECT);
  EXPECT_EQ(templatesOnly.GetFCSProgPath("FCS0101", &path), QVEEDA_ERR_NO_PROJECT);
  EXPECT_EQ(path, "kept");
  ASSERT_EQ(templatesOnly.GetTmplRcpPath("QVSystem", "RCPPRT", &path), 0u);
  EXPECT_EQ(path, QVETemplateRoot() + "/QVSystem/RcpPrt.edf");

  CQVEFilePath unprepared;
  EXPECT_EQ(unprepared.GetTmplStnInfoPath(&path), QVC_ERR_CANNOT_EXECUTE);
  EXPECT_EQ(unprepared.Init((dir_.path() + "/missing").c_str()), ERROR_PATH_NOT_FOUND);
}

// No two keys of one place name the same file (one shared lock aside, which
// two members share by key), and a file key chosen with a folder key lies in
// that folder: a slip in the table shows here.
TEST(PathKeyTableTest, KeysNameDistinctFilesAndFileKeysLieInTheirFolders) {
  std::set<std::string> seen;
  for (const qveeda::PathRule* rule = qveeda::AllPathRules().begin; rule != qveeda::AllPathRules().end; ++rule) {
    EXPECT_EQ(qveeda::FindPathRule(rule->key), rule) << rule->key << " is in the table twice";
    if (rule->file == nullptr) continue;
    for (unsigned scope : {1u, 2u, 4u}) {
      if ((rule->scopes & scope) == 0) continue;
      const std::string place = std::to_string(scope) + ":" + rule->folder + "/" + rule->file;
      EXPECT_TRUE(seen.insert(place).second) << rule->key << " names " << place << " again";
    }
  }
  for (const QVEFilePathMember& member : QVEFilePathMembers()) {
    if (member.folderKey == nullptr) continue;
    const qveeda::PathRule* file = qveeda::FindPathRule(member.key);
    const qveeda::PathRule* folder = qveeda::FindPathRule(member.folderKey);
    ASSERT_NE(file, nullptr) << member.key;
    ASSERT_NE(folder, nullptr) << member.folderKey;
    EXPECT_STREQ(file->folder, folder->folder) << member.name;
  }
}

TEST(PathCommandTest, ResolvesListsAndRefuses) {
  TempDir dir;
  const std::string project = dir / "pjt";
  qvtest::MakeDirs(project);
  auto run = [&](std::vector<std::string> words) { return qvtest::RunRcpstore(dir.path(), dir.path(), words, dir.path()); };

  qvtest::Outcome list = run({"path", "--list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 188);
  EXPECT_NE(list.out.find("GetFCSSeqLibFuncTypePath STATION [FILE]"), std::string::npos);
  EXPECT_NE(list.out.find("FCSEQFUNC / FCFOLDERSEQLIBFNC"), std::string::npos);

  qvtest::Outcome number = run({"path", "GetFCSMatrixDefPath", "FCS0101", "12", "--project", project});
  ASSERT_EQ(number.status, 0) << number.err;
  EXPECT_EQ(number.out, project + "/FCS0101/Matrix/Matrix12\n");
  qvtest::Outcome folder = run({"path", "GetFCSSeqLibFuncTypePath", "FCS0101", "--project", project, "--json"});
  ASSERT_EQ(folder.status, 0) << folder.err;
  const auto json = nlohmann::json::parse(folder.out);
  EXPECT_EQ(json["path"], project + "/FCS0101/SeqLib/Function");
  EXPECT_EQ(json["member"], "GetFCSSeqLibFuncTypePath");

  qvtest::Outcome noProject = run({"path", "GetSystemAttributePath"});
  EXPECT_EQ(noProject.status, 1);
  EXPECT_NE(noProject.err.find("0x20300002"), std::string::npos) << noProject.err;
  EXPECT_EQ(run({"path", "GetNothing"}).status, 2);
  EXPECT_EQ(run({"path", "GetFCSProgPath"}).status, 2) << "a missing station";
  EXPECT_EQ(run({"path", "GetFCSProgPath", "FCS0101", "extra", "--project", project}).status, 2);
}

}  // namespace
