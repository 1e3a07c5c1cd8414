// Keys enrolled for a project, recipes signed, and a recipe's state read
// from its signatures.
#include <algorithm>
#include <functional>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Locks.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Rights.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "LibQVBRcpEpa/Station.h"
#include "LibQVBRcpEpa/Target.h"
#include "LibQVBRcpEpa/Texts.h"
#include "LibQVCCommon/QVCTime.h"
#include "RcpAudit.h"
#include "RcpChanged.h"
#include "RcpEnrolment.h"
#include "RcpHistory.h"
#include "RcpSignKeys.h"
#include "RcpSignatureLog.h"
#include "platform/Env.h"

namespace rcpstore {

namespace {

// Writes what a signed change stores, then its audit line, also when the
// write failed.
void RecordedWrite(const char* operation, const std::string& path, const std::string& detail,
                   const std::function<void()>& write) {
  try {
    write();
  } catch (const Failure& failure) {
    rcpaudit::Record(operation, path, failure.code, detail);
    throw;
  }
  rcpaudit::Record(operation, path, 0, detail);
}

// The caller's own key, which must carry the caller's name.
rcpsign::OwnKey CallersKey() {
  rcpsign::OwnKey own = rcpsign::ReadOwnKey();
  if (own.user != CallerName()) {
    Fail("the signing key in " + Printable(UserKeyDirectory()) + " is user " + Printable(own.user) + "'s, not " +
             Printable(CallerName()) + "'s",
         ERROR_ACCESS_DENIED);
  }
  return own;
}

rcpsign::KeyFile PublicKeyGiven(const std::string& path, const std::string& user) {
  rcpsign::KeyFile file;
  std::string problem;
  if (!rcpsign::ParseKeyFile(rcpsign::ReadStoreFile(path, rcpsign::kLongestKeyFile), &file, &problem)) {
    Fail(Printable(path) + " is no public key file: " + problem, rcpsign::kDamaged);
  }
  if (file.secret) Fail(Printable(path) + " is a private key: enrol the public one (signing.pub)", ERROR_INVALID_PARAMETER);
  if (file.user != user) {
    Fail(Printable(path) + " is the key of user " + Printable(file.user) + ", not " + Printable(user),
         ERROR_INVALID_PARAMETER);
  }
  return file;
}

// Who may sign an enrolment: while the project trusts no key, only an
// administrator enrolling their own; afterwards an administrator whose own
// key the project trusts.
void RequireEnroller(const rcpsign::ProjectKeys& keys, const rcpsign::OwnKey& own, const std::string& user,
                     const std::string& keyHex) {
  if (!keys.TrustsAny()) {
    if (user == own.user && keyHex == own.publicHex) return;
    Fail("the project has no enrolled key yet: its first enrolment is an administrator's own key (signing.pub), "
         "enrolled by that administrator",
         ERROR_ACCESS_DENIED);
  }
  if (!keys.Trusts(own.user, own.publicHex)) {
    Fail("the key of user " + Printable(own.user) + " is not enrolled for the project, so it cannot sign an enrolment",
         ERROR_ACCESS_DENIED);
  }
}

std::string SignatureLogOf(const Target& recipe) {
  return rcpsign::SignatureDirectory(recipe.project, recipe.groupNo) + "/" +
         rcpsign::SignatureFileName(recipe.recipeNo);
}

// The author of the recipe's current version: the user of its last
// history version, or, for a recipe whose history holds none, the user its
// header names.
std::string AuthorOf(const Target& recipe, int64_t* version) {
  std::optional<rcphistory::Version> last = rcphistory::LastVersion(recipe.recipe);
  if (last) {
    *version = last->number;
    return last->user;
  }
  try {
    return ReadRecipeHead(recipe.recipe).author;
  } catch (const Failure&) {
    return "";
  }
}

RecipeStatus StatusOf(const Target& recipe, const rcpsign::ProjectKeys& keys) {
  RecipeStatus status;
  status.content = RecipeContentHash(recipe.recipe);
  status.author = AuthorOf(recipe, &status.version);
  for (RecipeSignature& s : rcpsign::ReadSignatures(SignatureLogOf(recipe), keys, nullptr)) {
    (s.valid && s.content == status.content ? status.current : status.earlier).push_back(std::move(s));
  }
  auto signedAs = [&](const char* meaning) {
    return std::any_of(status.current.begin(), status.current.end(),
                       [&](const RecipeSignature& s) { return s.meaning == meaning; });
  };
  status.state = signedAs("approve") ? "approved" : signedAs("review") ? "reviewed" : "draft";
  return status;
}

// Separation of duties: the author signs nothing of their own version, a
// user signs a content once in each meaning, and an approval follows a
// review by another user.
void RequireSeparateDuties(const RecipeStatus& status, const std::string& caller, const std::string& meaning) {
  if (caller == status.author) {
    Fail("user " + Printable(caller) + " is the author of the recipe's version " + std::to_string(status.version) +
             " and may not " + meaning + " it",
         ERROR_ACCESS_DENIED);
  }
  auto by = [&](const std::string& who, const char* what) {
    return std::any_of(status.current.begin(), status.current.end(),
                       [&](const RecipeSignature& s) { return s.signer == who && s.meaning == what; });
  };
  if (by(caller, meaning.c_str())) Fail("user " + Printable(caller) + " has signed this content as " + meaning + " already", QVC_ERR_EXISTS);
  if (meaning != "approve") return;
  if (by(caller, "review")) {
    Fail("user " + Printable(caller) + " reviewed this content: reviewer and approver are two different users",
         ERROR_ACCESS_DENIED);
  }
  bool reviewed = std::any_of(status.current.begin(), status.current.end(),
                              [](const RecipeSignature& s) { return s.meaning == "review"; });
  if (!reviewed) Fail("this content has no review yet: an approval follows another user's review", ERROR_ACCESS_DENIED);
}

}  // namespace

const char* MeaningName(SignatureMeaning meaning) { return meaning == SignatureMeaning::kApprove ? "approve" : "review"; }

ChangeReport EnrolKey(const std::string& projectGiven, const std::string& user, const std::string& publicKeyFile) {
  OpenedProjects opened;
  RequireAdministrator();
  if (!rcpsign::IsUserName(user)) Fail("no user name: " + Printable(user), ERROR_INVALID_NAME);
  rcpsign::KeyFile given = PublicKeyGiven(publicKeyFile, user);
  rcpsign::OwnKey own = CallersKey();
  Target project = ProjectTarget(projectGiven);
  CommandLocks locks;
  locks.LockProject(project);
  rcpsign::ProjectKeys keys = rcpsign::ReadProjectKeys(project.project);
  rcpsign::Enrolment e{user, rcpsign::Hex(given.key), QVCUtcNow(), own.user, own.publicHex, "", false};
  if (keys.Trusts(user, e.key)) Fail("this key of user " + Printable(user) + " is enrolled already", QVC_ERR_EXISTS);
  RequireEnroller(keys, own, user, e.key);
  e.signature = rcpsign::SignText(own.secret, rcpsign::EnrolmentText(e));
  std::string directory = rcpsign::KeysDirectory(project.project);
  RecordedWrite("enrolKey", project.project, user + " " + e.key,
                [&] { rcpsign::AppendStoreLine(directory, user + ".keys", rcpsign::EnrolmentLine(e)); });
  return {Changed(PlainItem(project), "key " + e.key.substr(0, 16) + " of " + user + " enrolled")};
}

std::string RecipeContentHash(const std::string& recipe) {
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::vector<qvplatform::DirEntry> entries;
  Check(env->ReadDirectory(recipe, &entries), "cannot read " + Printable(recipe));
  std::vector<std::pair<std::string, std::string>> files;
  for (const qvplatform::DirEntry& entry : entries) {
    if (entry.type != qvplatform::EntryType::kFile || !rcpsign::IsSignedFile(entry.name)) continue;
    std::string hash;
    Check(rcphistory::HashOfFile(recipe + "/" + entry.name, &hash), "cannot read " + Printable(entry.name));
    files.emplace_back(entry.name, hash);
  }
  return rcpsign::ContentHashOf(std::move(files));
}

ChangeReport SignRecipe(const std::string& given, SignatureMeaning meaning, const std::string& reason) {
  RequireNoProblem("reason", OneLineProblem(reason));
  OpenedProjects opened;
  if (meaning == SignatureMeaning::kApprove) RequireRight(Right::Approve);
  Target recipe = RecipeTarget(given);
  CommandLocks locks;
  locks.LockRecipe(recipe, LastName(recipe.recipe));
  rcpsign::OwnKey own = CallersKey();
  rcpsign::ProjectKeys keys = rcpsign::ReadProjectKeys(recipe.project);
  if (!keys.Trusts(own.user, own.publicHex)) {
    Fail("the key of user " + Printable(own.user) + " is not enrolled for the project (rcpstore key enrol)",
         ERROR_ACCESS_DENIED);
  }
  RecipeStatus status = StatusOf(recipe, keys);
  RecipeSignature s;
  s.meaning = MeaningName(meaning);
  RequireSeparateDuties(status, own.user, s.meaning);
  s.signer = own.user;
  s.time = QVCUtcNow();
  s.address = recipe.registered ? AddressOf(recipe) : recipe.recipe;
  s.location = GroupDirectoryName(recipe.groupNo) + "/" + RecipeDirectoryName(recipe.recipeNo);
  s.version = status.version;
  s.content = status.content;
  s.trail = rcpaudit::TrailIdentity();
  s.trailHash = rcpaudit::LastLineHash();
  s.reason = reason;
  s.key = own.publicHex;
  s.signature = rcpsign::SignText(own.secret, rcpsign::SignatureText(s));
  RecordedWrite("signRecipe", recipe.recipe, s.meaning, [&] {
    rcpsign::AppendStoreLine(rcpsign::SignatureDirectory(recipe.project, recipe.groupNo),
                             rcpsign::SignatureFileName(recipe.recipeNo), rcpsign::SignatureLine(s));
  });
  const char* done = meaning == SignatureMeaning::kApprove ? "approved by " : "reviewed by ";
  return {Changed(RecipeItem(recipe), done + own.user)};
}

RecipeStatus ReadRecipeStatus(const std::string& given) {
  OpenedProjects opened;
  Target recipe = RecipeTarget(given);
  return StatusOf(recipe, rcpsign::ReadProjectKeys(recipe.project));
}

}  // namespace rcpstore
