// The history of recipes through the store's API: every change gives a
// version, diffs name exactly the fields that changed, restores are byte for
// byte, a deleted recipe comes back, history moves with its recipe, and
// verify finds what was changed behind the store's back.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "LibQVBRcpEpa/Changes.h"
#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/History.h"
#include "LibQVBRcpEpa/Verify.h"
#include "RcpHistory.h"
#include "TestSupport.h"
#include "libqveeda/QVEEdaFile.h"

namespace fs = std::filesystem;

namespace {

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rcpstore::CreateProject("demo", tmp_.path());
    rcpstore::RegisterProject("Demo", demo_);
    rcpstore::CreateGroup("@Demo", 1, rcpstore::GroupAttributes{"one", {}});
    rcpstore::CreateGroup("@Demo", 2, rcpstore::GroupAttributes{"two", {}});
    rcpstore::CreateRecipe("@Demo/1", 1, "H");
  }

  // The data files of a recipe directory, by name, with their bytes.
  static std::map<std::string, std::string> Files(const std::string& recipe) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(recipe)) {
      if (entry.path().extension() == ".edf") files[entry.path().filename()] = qvtest::ReadFile(entry.path());
    }
    return files;
  }

  static std::map<std::string, std::string> Content(const std::string& recipe, int64_t version) {
    std::map<std::string, std::string> files;
    for (const rcpstore::VersionFile& file : rcpstore::VersionContent(recipe, version)) files[file.name] = file.bytes;
    return files;
  }

  // The contents the recipe's history keeps: inline in its log, and in the
  // project's object store.
  size_t Kept() const {
    size_t count = 0;
    for (const rcphistory::Version& version : rcphistory::Versions(rcp_)) count += version.packed.size();
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(demo_ + "/Recipe/.history/objects", ec)) {
      count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
  }

  std::set<std::string> Kinds(bool repair) const {
    std::set<std::string> kinds;
    for (const rcpstore::Finding& finding : rcpstore::VerifyStore("@Demo", repair).findings) kinds.insert(finding.kind);
    return kinds;
  }

  qvtest::TempDir tmp_;
  std::string demo_ = tmp_ / "demo";
  std::string rcp_ = demo_ + "/Recipe/RG01/RCP0001";
};

// Each edit changes one field; a diff of two versions names exactly the
// fields whose last edits lie between them.
TEST_F(HistoryTest, EveryEditIsAVersionAndADiffNamesExactlyTheFieldsThatDiffer) {
  struct Edit {
    rcpstore::RecipeTexts texts;
    std::string field;
  };
  const std::vector<Edit> edits = {
      {{"Dough", {}, {}}, "title"},          {{{}, "first", {}}, "comment"},  {{{}, {}, {{3, "Mixer"}}}, "unit 3 text"},
      {{"Bread", {}, {}}, "title"},          {{{}, {}, {{1, "Oven"}}}, "unit 1 text"}, {{{}, "second", {}}, "comment"},
      {{{}, {}, {{3, "Kneader"}}}, "unit 3 text"}, {{"Rye", {}, {}}, "title"}, {{{}, "third", {}}, "comment"},
      {{{}, {}, {{32, "Last"}}}, "unit 32 text"},
  };
  for (const Edit& edit : edits) rcpstore::SetRecipeTexts("@Demo/1/1", edit.texts);
  std::vector<rcpstore::RecipeVersion> versions = rcpstore::RecipeHistory("@Demo/1/1");
  ASSERT_EQ(versions.size(), 1 + edits.size());  // the create, then one per edit
  EXPECT_EQ(versions.front().operation, "createRecipe");
  for (size_t i = 0; i < versions.size(); ++i) EXPECT_EQ(versions[i].number, static_cast<int64_t>(i + 1));
  EXPECT_EQ(versions.back().operation, "setHeader");

  const std::vector<std::pair<int64_t, int64_t>> pairs = {{2, 3}, {2, 5}, {4, 9}, {1, 11}, {6, 6}, {11, 3}};
  for (const auto& [from, to] : pairs) {
    std::set<std::string> expected;
    for (int64_t v = std::min(from, to) + 1; v <= std::max(from, to); ++v) expected.insert(edits[v - 2].field);
    std::set<std::string> named;
    for (const rcpstore::VersionDifference& d : rcpstore::DiffVersions("@Demo/1/1", from, to)) {
      EXPECT_EQ(d.file, "RcpHead.edf");
      named.insert(d.field);
    }
    EXPECT_EQ(named, expected) << "diff " << from << " " << to;
  }
  auto titles = rcpstore::DiffVersions("@Demo/1/1", 4, 5);
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0].before, "Dough");
  EXPECT_EQ(titles[0].after, "Bread");
}

TEST_F(HistoryTest, RestoreGivesTheVersionByteForByteAndKeepsEachContentOnce) {
  rcpstore::SetRecipeTexts("@Demo/1/1", {"A", {}, {}});
  rcpstore::CreateUnit("@Demo/1/1", 1, "U1");  // version 3
  std::map<std::string, std::string> third = Files(rcp_);
  rcpstore::SetRecipeTexts("@Demo/1/1", {"B", {}, {}});
  rcpstore::DeleteUnit("@Demo/1/1", 1);
  rcpstore::CreateUnit("@Demo/1/1", 2, "U2");
  size_t kept = Kept();
  {
    rcpstore::ChangeReason why("back to the tested one");
    rcpstore::RestoreRecipe("@Demo/1/1", 3);
  }
  EXPECT_EQ(Files(rcp_), third);
  EXPECT_EQ(Content(rcp_, 3), third);
  EXPECT_EQ(Kept(), kept) << "a restored content is kept once";
  rcpstore::RecipeVersion last = rcpstore::RecipeHistory("@Demo/1/1").back();
  EXPECT_EQ(last.number, 7);
  EXPECT_EQ(last.operation, "restoreRecipe");
  EXPECT_EQ(last.reason, "back to the tested one");
  EXPECT_TRUE(rcpstore::DiffVersions("@Demo/1/1", 3, 7).empty());
  EXPECT_EQ(qvtest::CodeOf([&] { rcpstore::RestoreRecipe("@Demo/1/1", 99); }), ERROR_INVALID_PARAMETER);
}

// The index only tells where to look for a content kept already: entries
// without offsets (an older index) or with misleading ones still find it,
// and a lost entry costs a second copy, never a lost content.
TEST_F(HistoryTest, TheIndexOnlyGuidesTheLookForAContentKept) {
  rcpstore::SetRecipeTexts("@Demo/1/1", {"A", {}, {}});  // version 2
  const std::string index = demo_ + "/Recipe/.history/recipes/RG01/RCP0001.idx";
  auto offsetsAs = [](const std::string& text, const std::string& offset) {
    std::string out;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      out += text.substr(at, 16) + offset + "\n";
    }
    return out;
  };
  struct Case {
    const char* what;
    std::function<std::string(const std::string&)> index;
    size_t newlyKept;
  };
  const std::vector<Case> cases = {
      {"the index as written", [](const std::string& text) { return text; }, 0},
      {"an older index, without offsets", [&](const std::string& text) { return offsetsAs(text, ""); }, 0},
      {"offsets into other lines", [&](const std::string& text) { return offsetsAs(text, " 0"); }, 0},
      {"offsets beyond the log", [&](const std::string& text) { return offsetsAs(text, " 99999999999"); }, 0},
      {"a damaged entry", [](const std::string& text) { return text + "zz 12\n"; }, 0},
      {"no index", [](const std::string&) { return std::string(); }, 1},
  };
  for (const Case& c : cases) {
    rcpstore::SetRecipeTexts("@Demo/1/1", {"B", {}, {}});
    qvtest::WriteFile(index, c.index(qvtest::ReadFile(index)));
    size_t kept = Kept();
    rcpstore::RestoreRecipe("@Demo/1/1", 2);
    EXPECT_EQ(Kept() - kept, c.newlyKept) << c.what;
    EXPECT_EQ(Content(rcp_, rcpstore::RecipeHistory("@Demo/1/1").back().number), Content(rcp_, 2)) << c.what;
  }
}

TEST_F(HistoryTest, ADeletedRecipeKeepsItsHistoryAndComesBackByteForByte) {
  rcpstore::CreateUnit("@Demo/1/1", 0, "P");
  std::map<std::string, std::string> before = Files(rcp_);
  {
    rcpstore::ChangeReason why("obsolete");
    rcpstore::DeleteRecipe("@Demo/1/1");
  }
  std::vector<rcpstore::RecipeVersion> versions = rcpstore::RecipeHistory("@Demo/1/1");
  ASSERT_EQ(versions.size(), 3u);
  EXPECT_TRUE(versions.back().files.empty());
  EXPECT_EQ(versions.back().reason, "obsolete");
  EXPECT_EQ(qvtest::CodeOf([&] { rcpstore::RestoreRecipe("@Demo/1/1", 3); }), ERROR_INVALID_PARAMETER);
  rcpstore::RestoreRecipe("@Demo/1/1", 2);
  EXPECT_EQ(Files(rcp_), before);
  EXPECT_EQ(rcpstore::RecipeHistory("@Demo/1/1").size(), 4u) << "the same log goes on";
}

TEST_F(HistoryTest, AMoveTakesTheHistoryAlongAndACopyStartsItsOwn) {
  rcpstore::SetRecipeTexts("@Demo/1/1", {"A", {}, {}});
  rcpstore::CopyRecipe("@Demo/1/1", "@Demo/2", 5);
  std::vector<rcpstore::RecipeVersion> copy = rcpstore::RecipeHistory("@Demo/2/5");
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_EQ(copy[0].operation, "copyRecipe");
  EXPECT_EQ(copy[0].from, rcp_);
  rcpstore::MoveRecipe("@Demo/1/1", "@Demo/2", 7);
  std::vector<rcpstore::RecipeVersion> moved = rcpstore::RecipeHistory("@Demo/2/7");
  ASSERT_EQ(moved.size(), 3u);
  EXPECT_EQ(moved[0].operation, "createRecipe");
  EXPECT_EQ(moved[2].operation, "moveRecipe");
  EXPECT_TRUE(rcpstore::RecipeHistory("@Demo/1/1").empty());
  // A recipe made where one was deleted goes on with that address's log.
  rcpstore::DeleteRecipe("@Demo/2/5");
  rcpstore::CreateRecipe("@Demo/2", 5, "NEW");
  EXPECT_EQ(rcpstore::RecipeHistory("@Demo/2/5").size(), 3u);
}

TEST_F(HistoryTest, VerifyFindsDamagedHistoryAndRecordsChangesMadeBehindTheStore) {
  rcpstore::SetRecipeTexts("@Demo/1/1", {"A", {}, {}});
  EXPECT_TRUE(Kinds(false).empty());
  // A content kept inline in the log, damaged.
  std::string hash = rcpstore::RecipeHistory("@Demo/1/1").front().files.front().second;
  std::string log = rcphistory::LogPathOf(rcp_);
  std::string text = qvtest::ReadFile(log);
  size_t packed = text.find("\"" + hash + "\":\"");
  ASSERT_NE(packed, std::string::npos);
  text[packed + 64 + 3 + 40] ^= 1;
  qvtest::WriteFile(log, text);
  EXPECT_EQ(Kinds(false), (std::set<std::string>{"historyLog"}));
  EXPECT_EQ(qvtest::CodeOf([&] { rcpstore::VersionContent("@Demo/1/1", 1); }), ERROR_FILE_CORRUPT);

  // A file written behind the store's back, too large to keep inline: the
  // repair records it in the object store, where it is then damaged.
  std::string noise(256 << 10, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
  qvtest::WriteFile(rcp_ + "/Extra.edf", noise);
  EXPECT_EQ(Kinds(true), (std::set<std::string>{"historyLog", "historyBehind"}));
  EXPECT_EQ(rcpstore::RecipeHistory("@Demo/1/1").back().operation, "unrecorded");
  EXPECT_EQ(Content(rcp_, rcpstore::RecipeHistory("@Demo/1/1").back().number)["Extra.edf"], noise);
  std::string object = rcphistory::ObjectPath(demo_ + "/Recipe/.history", rcphistory::HashOf(noise));
  std::string bytes = qvtest::ReadFile(object);
  bytes[bytes.size() / 2] ^= 1;
  qvtest::WriteFile(object, bytes);
  EXPECT_EQ(Kinds(true), (std::set<std::string>{"historyObject", "historyLog"}));
  EXPECT_TRUE(fs::exists(object)) << "a repair never removes history";
  EXPECT_EQ(qvtest::ReadFile(log).compare(0, text.size(), text), 0) << "nor a damaged line";
}

}  // namespace
