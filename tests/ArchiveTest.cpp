// Export and import of a project's store: a round trip keeps every byte,
// and crafted archives are refused with nothing written.
#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "LibQVBRcpEpa.h"
#include "LibQVBRcpEpa/Archive.h"
#include "LibQVBRcpEpa/Failure.h"
#include "RcpVerify.h"
#include "StoreGen.h"
#include "TestProcess.h"
#include "TestSupport.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// One archive entry as the tests write it.
struct Item {
  std::string path;
  mode_t type = AE_IFREG;
  std::string data;
  std::string symlink;
  std::string hardlink;
};

std::vector<Item> ReadArchive(const std::string& path) {
  std::vector<Item> items;
  archive* a = archive_read_new();
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
  EXPECT_EQ(archive_read_open_filename(a, path.c_str(), 65536), ARCHIVE_OK);
  archive_entry* entry = nullptr;
  while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
    Item item{archive_entry_pathname(entry), archive_entry_filetype(entry), "", "", ""};
    char buffer[4096];
    la_ssize_t got = 0;
    while ((got = archive_read_data(a, buffer, sizeof buffer)) > 0) item.data.append(buffer, static_cast<size_t>(got));
    items.push_back(item);
  }
  archive_read_free(a);
  return items;
}

void WriteArchive(const std::string& path, const std::vector<Item>& items) {
  archive* a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
  for (const Item& item : items) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, item.path.c_str());
    archive_entry_set_filetype(entry, item.type);
    archive_entry_set_perm(entry, 0644);
    if (!item.symlink.empty()) archive_entry_set_symlink(entry, item.symlink.c_str());
    if (!item.hardlink.empty()) archive_entry_set_hardlink(entry, item.hardlink.c_str());
    archive_entry_set_size(entry, static_cast<la_int64_t>(item.data.size()));
    archive_write_header(a, entry);
    if (!item.data.empty()) archive_write_data(a, item.data.data(), item.data.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

json Manifest(const std::string& archive) {
  for (const Item& item : ReadArchive(archive)) {
    if (item.path == "manifest.json") return json::parse(item.data);
  }
  return json();
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qvtest::BuildStore(tmp_.path(), "P", 2, 3);
    std::string recipe = project() + "/Recipe/RG01/RCP0001";
    _QVERcpFileDetailInfo texts;
    texts.strTitle = "Mix";
    ASSERT_EQ(CQVERcpUtil::SetRcpInfo(recipe.c_str(), &texts), 0u);
    ASSERT_EQ(CQVERcpUtil::SetRcpHeadVersion((recipe + "/RcpHead.edf").c_str()), 0u);
    qvtest::MakeDirs(recipe + "/TEMP");
    qvtest::WriteFile(recipe + "/TEMP/scratch", "work of an editor");
    rcpstore::ExportStore(project(), archive());
  }

  std::string project() const { return tmp_ / "P"; }
  std::string archive() const { return tmp_ / "p.tgz"; }

  // The cause of an import's refusal, "" when it was not refused.
  static std::string Refusal(const rcpstore::ImportRequest& request) {
    try {
      rcpstore::ImportStore(request);
    } catch (const rcpstore::Failure& failure) {
      return failure.cause.empty() ? "refused" : failure.cause;
    }
    return "";
  }

  qvtest::TempDir tmp_;
};

TEST_F(ArchiveTest, ARoundTripKeepsEveryByteAndDescribesTheTree) {
  json manifest = Manifest(archive());
  ASSERT_TRUE(manifest.is_object()) << manifest.dump();
  EXPECT_EQ(manifest["format"], "rcpstore-archive");
  EXPECT_EQ(manifest["project"], "P");
  const json& area = manifest["groups"][0]["items"].back();
  EXPECT_EQ(area["subGroup"], "Area");
  EXPECT_EQ(area["items"][0], (json{{"recipe", 1}, {"title", "Mix"}, {"version", "1"}}));
  EXPECT_EQ(manifest["groups"][1]["group"], 2);

  EXPECT_TRUE(rcpstore::ImportStore({archive(), tmp_ / "Q", "Q", false}).findings.empty());
  std::map<std::string, std::string> original = qvtest::Snapshot(project() + "/Recipe");
  original.erase("RG01/RCP0001/TEMP/scratch");  // a recipe's work files are not the store's
  EXPECT_EQ(qvtest::Snapshot(tmp_ / "Q/Recipe"), original);
  EXPECT_TRUE(fs::is_directory(tmp_ / "Q/Recipe/RG01/RCP0001/TEMP"));
  _QVERcpProjectInfo info{};
  ASSERT_EQ(CQVERcpUtil::GetProjectInfo("Q", &info), 0u);
  EXPECT_EQ(info.strPath, tmp_ / "Q");

  // A store that is there is replaced only when asked, and then whole.
  qvtest::WriteFile(tmp_ / "Q/Recipe/RG02/RcpGrAttr.txt", "COMMENT,changed\r\n");
  EXPECT_NE(Refusal({archive(), tmp_ / "Q", "", false}).find("already"), std::string::npos);
  EXPECT_EQ(Refusal({archive(), tmp_ / "Q", "", true}), "");
  EXPECT_EQ(qvtest::Snapshot(tmp_ / "Q/Recipe"), original);
  std::vector<rcpverify::Finding> findings;
  EXPECT_EQ(rcpverify::Verify(tmp_ / "Q", {}, &findings), 0u);
  EXPECT_TRUE(findings.empty());
}

// A store that another process is editing is not replaced under it: that
// editor would go on holding a lock of a store that is gone.
TEST_F(ArchiveTest, AStoreWithAHeldRecipeLockIsNotReplaced) {
  std::string recipe = project() + "/Recipe/RG01/RCP0002";
  qvtest::ChildProcess editor = qvtest::HoldLock(recipe, "");
  ASSERT_EQ(editor.started(), 0);
  qvtest::WriteFile(recipe + "/RcpHead.edf", "edited");
  std::map<std::string, std::string> before = qvtest::Snapshot(project() + "/Recipe");
  EXPECT_NE(Refusal({archive(), project(), "", true}).find("in use"), std::string::npos);
  EXPECT_EQ(qvtest::Snapshot(project() + "/Recipe"), before);
  editor.Kill();
  EXPECT_EQ(Refusal({archive(), project(), "", true}), "");
  EXPECT_NE(qvtest::ReadFile(recipe + "/RcpHead.edf"), "edited");
}

TEST_F(ArchiveTest, CraftedArchivesAreRefusedWithNothingWritten) {
  const std::vector<Item> good = ReadArchive(archive());
  auto with = [&](const Item& extra) {
    std::vector<Item> items = good;
    items.insert(items.begin() + 1, extra);
    return items;
  };
  auto changed = [&](const std::string& path, char byte) {
    std::vector<Item> items = good;
    for (Item& item : items) {
      if (item.path == path) item.data[0] = byte;
    }
    return items;
  };
  std::vector<Item> unlisted = good;
  unlisted.insert(unlisted.end() - 1, {"Recipe/RG01/extra.txt", AE_IFREG, "x", "", ""});
  std::vector<Item> twice = good;
  twice.insert(twice.end() - 1, {"Recipe/rg01/rcpgrattr.txt", AE_IFREG, "x", "", ""});
  const std::string outside = tmp_ / "evil";
  std::map<std::string, std::vector<Item>> crafted = {
      {"parent", with({"../evil", AE_IFREG, "x", "", ""})},
      {"nested parent", with({"Recipe/RG01/../../../evil", AE_IFREG, "x", "", ""})},
      {"absolute", with({outside, AE_IFREG, "x", "", ""})},
      {"outside the store", with({"evil", AE_IFREG, "x", "", ""})},
      {"symlink", with({"Recipe/RG01/link", AE_IFLNK, "", "/etc", ""})},
      {"hard link", with({"Recipe/RG01/hard", AE_IFREG, "", "", "Recipe/RcpPJTAttr.txt"})},
      {"fifo", with({"Recipe/RG01/pipe", AE_IFIFO, "", "", ""})},
      {"unlisted file", unlisted},
      {"same name twice", twice},
      {"checksum", changed("Recipe/RG01/RcpGrAttr.txt", 'X')},
      {"no manifest", std::vector<Item>(good.begin(), good.end() - 1)},
  };
  std::string bytes = qvtest::ReadFile(archive());
  qvtest::MakeDirs(tmp_ / "Empty");
  auto before = qvtest::Snapshot(tmp_.path());
  size_t refused = 0;
  for (const auto& [what, items] : crafted) {
    SCOPED_TRACE(what);
    WriteArchive(tmp_ / "bad.tgz", items);
    for (const std::string& target : {tmp_ / "R", tmp_ / "Empty"}) {
      refused += Refusal({tmp_ / "bad.tgz", target, "R", false}).empty() ? 0 : 1;
    }
    EXPECT_FALSE(qvtest::Exists(tmp_ / "R"));
    EXPECT_TRUE(fs::is_empty(tmp_ / "Empty"));
    EXPECT_FALSE(qvtest::Exists(outside));
  }
  qvtest::WriteFile(tmp_ / "bad.tgz", bytes.substr(0, bytes.size() / 2));
  EXPECT_NE(Refusal({tmp_ / "bad.tgz", tmp_ / "R", "", false}), "");
  EXPECT_FALSE(qvtest::Exists(tmp_ / "R"));
  fs::remove(tmp_ / "bad.tgz");
  EXPECT_EQ(qvtest::Snapshot(tmp_.path()), before);
  _QVERcpProjectInfo info{};
  EXPECT_NE(CQVERcpUtil::GetProjectInfo("R", &info), 0u);
  EXPECT_EQ(refused, 2 * crafted.size());
}

}  // namespace
