// Electronic signatures on recipes, and the audit trail's chain.
//
// Each user has an Ed25519 key pair of their own; a station administrator
// enrols a user's public key for a project, in the project itself, so that
// every station that shares the project knows it. A review or an approval
// signs the exact content of a recipe's files, with the signer, the meaning,
// the time, the recipe's address and history version, and the audit trail's
// last line hash at that moment. Shared files can always be rewritten by
// someone who may write them; what the signatures promise is that such a
// rewrite is detected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LibQVBRcpEpa/Api.h"
#include "LibQVBRcpEpa/Changes.h"

namespace rcpstore {

// The directory of the caller's own key pair: $XDG_CONFIG_HOME/rcpstore when
// that is set, else .config/rcpstore in the caller's home directory (as the
// user database names it).
RCPSTORE_API std::string UserKeyDirectory();

// Makes the caller's key pair there: signing.key, readable by its owner
// alone, and signing.pub, the file an administrator enrols. An existing
// pair is kept (refused with ERROR_FILE_EXISTS) unless replace is given.
// Returns the public key file's path.
RCPSTORE_API std::string MakeUserKey(bool replace);

// Enrols a user's public key (a signing.pub file) for a project: the
// station's administrators only. The enrolment is signed with the
// administrator's own key, which must be enrolled for the project already;
// only the project's first enrolment is an administrator's own key, signed
// by itself. Audited.
RCPSTORE_API ChangeReport EnrolKey(const std::string& project, const std::string& user,
                                   const std::string& publicKeyFile);

enum class SignatureMeaning { kReview, kApprove };
// "review", "approve".
RCPSTORE_API const char* MeaningName(SignatureMeaning meaning);

// One signature of a recipe's signature log, as stored.
struct RecipeSignature {
  std::string meaning;   // "review" or "approve"
  std::string signer;
  std::string time;      // UTC, "2026-12-08T04:10:00Z"
  std::string address;   // the recipe as the signing station named it
  std::string location;  // RGnn/RCPnnnn in the project
  int64_t version = 0;   // the recipe's history version signed (0: none recorded)
  std::string content;   // the SHA-256 of the recipe's files (RecipeContentHash)
  std::string trail;     // the audit trail it was signed on: host:station directory
  std::string trailHash; // the SHA-256 of that trail's last line then ("" for an empty trail)
  std::string reason;
  std::string key;        // the signer's public key, hex
  std::string signature;  // Ed25519, hex
  bool valid = false;     // the signature matches and its key is enrolled for the signer
};

// Signs the recipe's current content: approve needs the approve right. The
// author of the version under signature may neither review nor approve
// it; an approval needs a review of the same content by another user, and
// reviewer and approver are two users. Audited.
RCPSTORE_API ChangeReport SignRecipe(const std::string& recipe, SignatureMeaning meaning,
                                     const std::string& reason);

struct RecipeStatus {
  std::string state;        // "draft", "reviewed" or "approved"
  std::string content;      // the recipe's content hash now
  int64_t version = 0;      // its last history version (0: none recorded)
  std::string author;       // the user of that version
  std::vector<RecipeSignature> current;  // valid signatures of the content as it is now
  std::vector<RecipeSignature> earlier;  // every other signature in the log
};
RCPSTORE_API RecipeStatus ReadRecipeStatus(const std::string& recipe);

// The SHA-256 that a signature signs for a recipe directory: over the lines
// "NAME SHA256\n" of its data files (RcpHead.edf, RcpRP.edf, RcpPTnn.edf,
// names as on disk), sorted by name byte for byte, each with the SHA-256 of
// its bytes.
RCPSTORE_API std::string RecipeContentHash(const std::string& recipe);

// The audit trail checked: its chain, and whether it still holds the line
// each signature of the given projects (every registered one when none is
// given) signed on this station.
struct TrailCheck {
  size_t lines = 0;         // lines read, both files
  std::string brokenFile;   // the file of the first line where the chain breaks; "" when it holds
  size_t brokenLine = 0;    // that line's number in its file (1 the first)
  std::string cause;
  size_t signatures = 0;               // signatures made on this trail that were looked for
  std::vector<std::string> missing;    // those whose signed line the trail no longer holds
};
RCPSTORE_API TrailCheck CheckAuditTrail(const std::vector<std::string>& projects = {});

}  // namespace rcpstore
