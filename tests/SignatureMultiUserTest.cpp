// Signatures and the audit trail's chain, in real processes: root
// administers the station and writes the recipe, uid 1 (daemon) reviews it
// and uid 65534 (nobody) approves it, each with a key of their own; a
// second station of the same project checks what they signed. Then every
// kind of tampering with the files, the signatures, the keys and the trail
// must be reported.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "LibQVBRcpEpa/Signatures.h"
#include "RcpAudit.h"
#include "RcpstoreRun.h"
#include "TestSupport.h"
#include "platform/StationDir.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using qvtest::Outcome;
using qvtest::Quote;
using qvtest::ReadFile;
using qvtest::WriteFile;

struct User {
  const char* name;
  uid_t uid;
};
const User kRoot{"root", 0};
const User kReviewer{"daemon", 1};
const User kApprover{"nobody", 65534};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Changes one byte in the middle of a file; gives the old content back.
std::string FlipByte(const std::string& path, size_t at) {
  std::string old = ReadFile(path);
  std::string changed = old;
  changed[at % changed.size()] ^= 0x01;
  WriteFile(path, changed);
  return old;
}

class SignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(chmod(tmp_.path().c_str(), 0755), 0);
    fs::create_directories(Config());
    ASSERT_EQ(chmod(Config().c_str(), 01777), 0);
    // Made by root's station init, each station is shared by the group users.
    for (const std::string& station : {Station(1), Station(2)}) {
      ASSERT_EQ(Run(kRoot, station, {"station", "init"}).status, 0);
    }
    fs::create_directories(tmp_.path() + "/plant");
    ASSERT_EQ(chmod((tmp_.path() + "/plant").c_str(), 0777), 0);
  }

  std::string Config() const { return tmp_.path() + "/config"; }
  std::string Station(int n) const { return tmp_.path() + "/station" + std::to_string(n); }
  std::string Project() const { return tmp_.path() + "/plant/Plant"; }
  std::string Recipe() const { return Project() + "/Recipe/RG01/RCP0001"; }
  std::string SigLog() const { return Project() + "/Recipe/.history/recipes/RG01/RCP0001.sig"; }
  std::string PublicKey(const User& user) const { return Config() + "/" + user.name + "/rcpstore/signing.pub"; }

  // rcpstore as the user, with the user's own configuration directory, in
  // the station's group, making files every user of the project may write.
  Outcome Run(const User& user, const std::string& station, const std::vector<std::string>& words) {
    std::string cmd = "cd " + Quote(tmp_.path()) + " && umask 000 && XDG_CONFIG_HOME=" + Quote(Config() + "/" + user.name) + " ";
    if (user.uid != 0) {
      cmd += "setpriv --reuid=" + std::to_string(user.uid) + " --regid=" + std::to_string(user.uid) + " --groups=100 ";
    }
    cmd += std::string(RCPSTORE_BIN) + " --station " + Quote(station);
    for (const std::string& word : words) cmd += " " + Quote(word);
    cmd += " > " + Quote(tmp_.path() + "/out") + " 2> " + Quote(tmp_.path() + "/err");
    int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(tmp_.path() + "/out"), ReadFile(tmp_.path() + "/err")};
  }
  Outcome Run(const User& user, const std::vector<std::string>& words) { return Run(user, Station(1), words); }

  json Json(const User& user, const std::string& station, std::vector<std::string> words) {
    words.push_back("--json");
    Outcome out = Run(user, station, words);
    json value = json::parse(out.out, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << out.out << out.err;
    return value;
  }

  // A project with one recipe written by root, every key made and enrolled.
  void MakeSignedWorld() {
    ASSERT_EQ(Run(kRoot, {"project", "create", "Plant", tmp_.path() + "/plant"}).status, 0);
    ASSERT_EQ(Run(kRoot, {"project", "register", "Line1", Project()}).status, 0);
    ASSERT_EQ(Run(kRoot, Station(2), {"project", "register", "Other", Project()}).status, 0);
    ASSERT_EQ(Run(kRoot, {"group", "create", "@Line1", "1"}).status, 0);
    ASSERT_EQ(Run(kRoot, {"recipe", "create", "@Line1/1", "1", "--header-name", "DOUGH"}).status, 0);
    ASSERT_EQ(Run(kRoot, {"unit", "create", "@Line1/1/1", "1"}).status, 0);
    for (const User& user : {kRoot, kReviewer, kApprover}) {
      Outcome made = Run(user, {"key", "init"});
      ASSERT_EQ(made.status, 0) << made.err;
    }
    for (const User& user : {kRoot, kReviewer, kApprover}) {
      Outcome enrolled = Run(kRoot, {"key", "enrol", "@Line1", user.name, PublicKey(user)});
      ASSERT_EQ(enrolled.status, 0) << enrolled.err;
    }
  }

  qvtest::TempDir tmp_;
};

TEST_F(SignatureTest, KeysAreTheOwnersAloneAndEnrolmentsChainToTheFirstAdministrator) {
  MakeSignedWorld();
  struct stat st;
  std::string secret = Config() + "/daemon/rcpstore/signing.key";
  ASSERT_EQ(lstat(secret.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_uid, kReviewer.uid);
  std::string before = ReadFile(secret);
  Outcome again = Run(kReviewer, {"key", "init"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(secret), before);
  // A link planted where the key goes is replaced, never written through.
  std::string elsewhere = tmp_.path() + "/elsewhere";
  WriteFile(elsewhere, "kept\n");
  fs::remove(secret);
  fs::create_symlink(elsewhere, secret);
  EXPECT_EQ(Run(kReviewer, {"key", "init"}).status, 1);
  EXPECT_EQ(ReadFile(elsewhere), "kept\n");
  fs::remove(secret);
  WriteFile(secret, before);
  ASSERT_EQ(chown(secret.c_str(), kReviewer.uid, kReviewer.uid), 0);
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);

  // Only an administrator enrols, and only the key file of the user named.
  Outcome notAdmin = Run(kReviewer, {"key", "enrol", "@Line1", "daemon", PublicKey(kReviewer)});
  EXPECT_EQ(notAdmin.status, 1);
  Outcome wrongUser = Run(kRoot, {"key", "enrol", "@Line1", "nobody", PublicKey(kReviewer)});
  EXPECT_EQ(wrongUser.status, 1);
  EXPECT_NE(wrongUser.err.find("daemon"), std::string::npos) << wrongUser.err;
  json log = Json(kRoot, Station(1), {"log", "--user", "root"});
  size_t enrolments = 0;
  for (const json& line : log) enrolments += line["operation"] == "enrolKey" && line["result"] == 0;
  EXPECT_EQ(enrolments, 3u);
}

TEST_F(SignatureTest, ReviewAndApprovalBySeparateUsersVerifyOnAnotherStation) {
  MakeSignedWorld();
  ASSERT_EQ(Run(kRoot, {"security", "on"}).status, 0);
  // The author may not sign the version; approval needs a review first,
  // the approve right, and another user than the reviewer.
  Outcome own = Run(kRoot, {"recipe", "sign", "@Line1/1/1", "--meaning", "review"});
  EXPECT_EQ(own.status, 1);
  EXPECT_NE(own.err.find("author"), std::string::npos) << own.err;
  EXPECT_EQ(Run(kRoot, {"recipe", "sign", "@Line1/1/1", "--meaning", "approve"}).status, 1);
  Outcome early = Run(kApprover, {"recipe", "sign", "@Line1/1/1", "--meaning", "approve"});
  EXPECT_EQ(early.status, 1);
  EXPECT_NE(early.err.find("approve right"), std::string::npos) << early.err;
  Outcome reviewed = Run(kReviewer, {"recipe", "sign", "@Line1/1/1", "--meaning", "review", "--reason", "checked"});
  ASSERT_EQ(reviewed.status, 0) << reviewed.err;
  ASSERT_EQ(Run(kRoot, {"station", "group", "add-member", "RcpSec4", "daemon"}).status, 0);
  Outcome self = Run(kReviewer, {"recipe", "sign", "@Line1/1/1", "--meaning", "approve"});
  EXPECT_EQ(self.status, 1);
  EXPECT_NE(self.err.find("two different users"), std::string::npos) << self.err;
  EXPECT_EQ(Run(kApprover, {"recipe", "sign", "@Line1/1/1", "--meaning", "approve"}).status, 1);
  ASSERT_EQ(Run(kRoot, {"station", "group", "add-member", "RcpSec4", "nobody"}).status, 0);
  Outcome approved = Run(kApprover, {"recipe", "sign", "@Line1/1/1", "--meaning", "approve"});
  ASSERT_EQ(approved.status, 0) << approved.err;

  // The other station sees the same state and verifies every signature.
  json status = Json(kReviewer, Station(2), {"recipe", "status", "@Other/1/1"});
  EXPECT_EQ(status["state"], "approved");
  ASSERT_EQ(status["signatures"].size(), 2u);
  EXPECT_EQ(status["signatures"][0]["signer"], "daemon");
  EXPECT_EQ(status["signatures"][1]["signer"], "nobody");
  Outcome clean = Run(kReviewer, Station(2), {"verify", "@Other"});
  EXPECT_EQ(clean.status, 0) << clean.out << clean.err;

  // One byte changed in a signed file, a signature or an enrolled key is
  // reported, and each is whole again once the byte is back.
  struct Tamper {
    const char* what;
    std::string path;
    const char* kind;
  };
  size_t signatureAt = ReadFile(SigLog()).size() - 10;
  for (const Tamper& tamper : std::vector<Tamper>{
           {"unit file", Recipe() + "/RcpPT01.edf", "signedContentChanged"},
           {"header", Recipe() + "/RcpHead.edf", "signedContentChanged"},
           {"signature", SigLog(), "badSignature"},
           {"enrolled key", Project() + "/Recipe/.history/keys/nobody.keys", "untrustedKey"}}) {
    SCOPED_TRACE(tamper.what);
    size_t at = tamper.path == SigLog() ? signatureAt : ReadFile(tamper.path).size() / 2;
    if (std::string(tamper.what) == "enrolled key") at = ReadFile(tamper.path).find("\"key\":\"") + 12;
    std::string old = FlipByte(tamper.path, at);
    json found = Json(kReviewer, Station(2), {"verify", "@Other"});
    bool reported = false;
    for (const json& finding : found["findings"]) reported = reported || finding["finding"] == tamper.kind;
    EXPECT_TRUE(reported) << found.dump();
    EXPECT_NE(Json(kReviewer, Station(2), {"recipe", "status", "@Other/1/1"})["state"], "approved");
    WriteFile(tamper.path, old);
  }
  EXPECT_EQ(Run(kReviewer, Station(2), {"verify", "@Other"}).status, 0);

  // A change through the store is a new version: a draft whose signatures
  // stay in the log, and nothing for verify to report.
  ASSERT_EQ(Run(kRoot, {"recipe", "set", "@Line1/1/1", "--title", "Changed"}).status, 0);
  json draft = Json(kReviewer, Station(2), {"recipe", "status", "@Other/1/1"});
  EXPECT_EQ(draft["state"], "draft");
  EXPECT_EQ(draft["earlier"].size(), 2u);
  Outcome honest = Run(kReviewer, Station(2), {"verify", "@Other"});
  EXPECT_EQ(honest.status, 0) << honest.out << honest.err;
}

TEST_F(SignatureTest, LogCheckFindsTheLineWhereTheTrailWasEditedOrCut) {
  MakeSignedWorld();
  ASSERT_EQ(Run(kReviewer, {"recipe", "sign", "@Line1/1/1", "--meaning", "review"}).status, 0);
  ASSERT_EQ(Run(kRoot, {"group", "set", "@Line1/1", "--comment", "after"}).status, 0);
  std::string trail = Station(1) + "/audit.log";
  const std::string whole = ReadFile(trail);
  std::vector<std::string> lines = Lines(whole);
  ASSERT_GE(lines.size(), 8u);
  json ok = Json(kRoot, Station(1), {"log", "--check"});
  EXPECT_TRUE(ok["broken"].is_null()) << ok.dump();
  EXPECT_EQ(ok["signatures"], 1);
  EXPECT_TRUE(ok["missing"].empty());
  size_t signedAt = 0;  // the sign's own line; the signature signed the line before it
  for (size_t i = 0; i < lines.size(); ++i) signedAt = lines[i].find("signRecipe") != std::string::npos ? i : signedAt;

  struct Case {
    const char* what;
    std::vector<std::string> trail;
    size_t brokenLine;  // 0: the chain holds
    bool cut;
  };
  auto without = [&](size_t at) {
    std::vector<std::string> copy = lines;
    copy.erase(copy.begin() + static_cast<long>(at));
    return copy;
  };
  auto edited = [&](size_t at) {
    std::vector<std::string> copy = lines;
    copy[at].replace(copy[at].find("\"user\":\"") + 8, 1, "x");
    return copy;
  };
  auto swapped = [&](size_t at) {
    std::vector<std::string> copy = lines;
    std::swap(copy[at], copy[at + 1]);
    return copy;
  };
  std::vector<std::string> cut(lines.begin(), lines.begin() + static_cast<long>(signedAt) - 1);
  std::vector<std::string> signRemoved(lines.begin(), lines.begin() + static_cast<long>(signedAt));
  for (const Case& c : std::vector<Case>{{"line 3 deleted", without(2), 3, false},
                                         {"line 3 edited", edited(2), 4, false},
                                         {"lines 4 and 5 swapped", swapped(3), 4, false},
                                         {"cut before the signed line", cut, 0, true},
                                         {"cut after the signed line", signRemoved, 0, true}}) {
    SCOPED_TRACE(c.what);
    WriteFile(trail, Joined(c.trail));
    Outcome out = Run(kRoot, {"log", "--check", "--json"});
    EXPECT_EQ(out.status, 1);
    json check = json::parse(out.out, nullptr, false);
    if (c.brokenLine == 0) {
      EXPECT_TRUE(check["broken"].is_null()) << out.out;
    } else {
      EXPECT_EQ(check["broken"]["line"], c.brokenLine) << out.out;
    }
    EXPECT_EQ(check["missing"].size(), c.cut ? 1u : 0u) << out.out;
  }
  WriteFile(trail, whole);
  EXPECT_EQ(Run(kRoot, {"log", "--check"}).status, 0);
}

}  // namespace
