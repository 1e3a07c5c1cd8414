// rcpstore key, recipe sign and recipe status: the user's key pair, keys
// enrolled for a project, reviews and approvals, and a recipe's state.
#include <CLI/CLI.hpp>

#include "Commands.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "Output.h"
#include "Usage.h"

namespace rcpstore::cli {

namespace {

Json SignatureJson(const RecipeSignature& s) {
  Json out{{"meaning", s.meaning},         {"signer", JsonText(s.signer)},   {"time", JsonText(s.time)},
           {"address", JsonText(s.address)}, {"version", s.version},         {"content", JsonText(s.content)},
           {"reason", JsonText(s.reason)},   {"valid", s.valid}};
  return out;
}

std::string SignatureLine(const RecipeSignature& s) {
  std::string line = (s.meaning == "approve" ? "approved by " : "reviewed by ") + Printable(s.signer) + " at " +
                     Printable(s.time) + " (version " + std::to_string(s.version) + ")";
  if (!s.reason.empty()) line += ": " + Printable(s.reason);
  return s.valid ? line : line + " [does not hold]";
}

int PrintStatus(const std::string& recipe) {
  RecipeStatus status = ReadRecipeStatus(recipe);
  if (Output().json) {
    Json current = Json::array();
    Json earlier = Json::array();
    for (const RecipeSignature& s : status.current) current.push_back(SignatureJson(s));
    for (const RecipeSignature& s : status.earlier) earlier.push_back(SignatureJson(s));
    return PrintJson(Json{{"state", status.state},
                          {"content", status.content},
                          {"version", status.version},
                          {"author", JsonText(status.author)},
                          {"signatures", current},
                          {"earlier", earlier}});
  }
  std::string text = status.state + "\nversion " + std::to_string(status.version) + " by " + Printable(status.author);
  for (const RecipeSignature& s : status.current) text += "\n" + SignatureLine(s);
  if (!status.earlier.empty()) text += "\nearlier signatures, of other contents:";
  for (const RecipeSignature& s : status.earlier) text += "\n  " + SignatureLine(s);
  return PrintLine(text);
}

}  // namespace

void AddKeyCommand(CLI::App& app, int* exitStatus) {
  auto* key = app.add_subcommand("key", "Your signing key pair, and the keys enrolled for a project");
  key->require_subcommand(1);

  auto force = std::make_shared<bool>(false);
  auto* init = AddCommand(*key, "init", "Make your Ed25519 key pair in your configuration directory",
                          "rcpstore key init");
  init->add_flag("--force", *force, "Replace a key pair that exists (signatures made with it stay valid)");
  Runs(*init, exitStatus, [=] {
    std::string made = MakeUserKey(*force);
    return PrintDone(Json{{"publicKey", JsonText(made)}}, "key pair made; public key " + Printable(made));
  });

  auto project = std::make_shared<std::string>();
  auto user = std::make_shared<std::string>();
  auto file = std::make_shared<std::string>();
  auto* enrol = AddCommand(*key, "enrol", "Enrol a user's public key for a project (administrators only)",
                           "rcpstore key enrol @Line1 alice /home/alice/.config/rcpstore/signing.pub");
  enrol->add_option("PROJECT", *project, kProjectHelp)->required();
  enrol->add_option("USER", *user, "The user whose key it is")->required();
  enrol->add_option("FILE", *file, "The user's public key file (signing.pub)")->required();
  Runs(*enrol, exitStatus, [=] { return PrintChanges(EnrolKey(*project, *user, *file)); });
}

namespace {

void AddRecipeSignCommands(CLI::App& recipe, int* exitStatus) {
  auto given = std::make_shared<std::string>();
  auto meaning = std::make_shared<std::string>();
  auto reason = std::make_shared<std::string>();
  auto* sign = AddCommand(recipe, "sign", "Sign the recipe's content as reviewed or approved",
                          "rcpstore recipe sign @Line1/1/1 --meaning review --reason \"checked against batch 12\"");
  sign->add_option("RECIPE", *given, kRecipeHelp)->required();
  sign->add_option("--meaning", *meaning, "review, or approve (needs the approve right)")
      ->required()
      ->check(CLI::IsMember({"review", "approve"}));
  sign->add_option("--reason", *reason, "Why, in one line");
  Runs(*sign, exitStatus, [=] {
    SignatureMeaning how = *meaning == "approve" ? SignatureMeaning::kApprove : SignatureMeaning::kReview;
    return PrintChanges(SignRecipe(*given, how, *reason));
  });

  auto* status = AddCommand(recipe, "status", "Draft, reviewed or approved: by whom, when",
                            "rcpstore recipe status @Line1/1/1");
  status->add_option("RECIPE", *given, kRecipeHelp)->required();
  Runs(*status, exitStatus, [=] { return PrintStatus(*given); });
}

}  // namespace

void AddSignCommands(CLI::App& app, int* exitStatus) {
  if (CLI::App* recipe = FindCommand(app, "recipe")) AddRecipeSignCommands(*recipe, exitStatus);
}

}  // namespace rcpstore::cli
