// A recipe's signature log: PROJECT/Recipe/.history/recipes/RGnn/RCPnnnn.sig,
// one JSON line per signature, kept for good (it moves with the recipe's
// history), and the checks that a signature and the recipe it names agree.
#pragma once

#include <string>
#include <vector>

#include "LibQVBRcpEpa/Signatures.h"
#include "LibQVBRcpEpa/Verify.h"
#include "RcpEnrolment.h"

namespace rcpsign {

// The log's directory and file name for a recipe of a project.
std::string SignatureDirectory(const std::string& projectDirectory, unsigned groupNo);
std::string SignatureFileName(unsigned recipeNo);

// One line of a signature log; false for a line that is not one.
bool ParseSignature(const std::string& line, rcpstore::RecipeSignature* out);
std::string SignatureLine(const rcpstore::RecipeSignature& signature);
// What the signer signs: every field but the signature itself.
std::string SignatureText(const rcpstore::RecipeSignature& signature);

// Every signature of a log, with valid set against the project's keys;
// *damaged counts the lines that are no signature.
std::vector<rcpstore::RecipeSignature> ReadSignatures(const std::string& path, const ProjectKeys& keys,
                                                      size_t* damaged);

// Whether a file name is one of the recipe's data files that a signature
// covers: RcpHead.edf, RcpRP.edf, RcpPT01.edf to RcpPT32.edf, in any case.
bool IsSignedFile(const std::string& name);
// The content hash of "NAME SHA256" pairs, sorted by name.
std::string ContentHashOf(std::vector<std::pair<std::string, std::string>> files);

// The signatures of every recipe of a project checked: each must verify
// under a key the project trusts, and the recipe's files must still be the
// content of its last signature or of a version its history recorded
// since. What does not is a finding.
void VerifySignatures(const std::string& projectDirectory, std::vector<rcpstore::Finding>* findings);

// Every signature log of a project: its path.
std::vector<std::string> SignatureLogs(const std::string& projectDirectory);

}  // namespace rcpsign
