// The keys enrolled for a project: PROJECT/Recipe/.history/keys/USER.keys,
// one JSON line per enrolment, each signed by the administrator who made
// it. A project trusts its first enrolment, an administrator's own key
// signed by itself, and every enrolment signed by a key it trusts.
#pragma once

#include <string>
#include <vector>

namespace rcpsign {

struct Enrolment {
  std::string user;
  std::string key;  // hex
  std::string time;
  std::string by;     // the enrolling administrator
  std::string byKey;  // hex
  std::string signature;
  bool trusted = false;
};

// PROJECT/Recipe/.history and its keys directory.
std::string HistoryDirectory(const std::string& projectDirectory);
std::string KeysDirectory(const std::string& projectDirectory);

// One line of an enrolment file; false for a line that is not one.
bool ParseEnrolment(const std::string& line, Enrolment* out);
std::string EnrolmentLine(const Enrolment& enrolment);
// What the enrolling administrator signs.
std::string EnrolmentText(const Enrolment& enrolment);

struct ProjectKeys {
  std::vector<Enrolment> enrolments;
  std::vector<std::string> problems;  // each line or file that is not trusted, and why
  bool Trusts(const std::string& user, const std::string& keyHex) const;
  bool TrustsAny() const;
};
ProjectKeys ReadProjectKeys(const std::string& projectDirectory);

// The bytes of a store file of at most maxBytes; "" when it is missing.
std::string ReadStoreFile(const std::string& path, size_t maxBytes);
// Adds a line at the end of a store file: the whole file rewritten beside
// it and renamed over it, so that it holds every earlier line whatever
// happens; the missing directories on the way are made.
void AppendStoreLine(const std::string& directory, const std::string& name, const std::string& line);

}  // namespace rcpsign
