// The signature files another station or a hand edit left: a key file, an
// enrolment line and a signature-log line. Each parser must refuse what is
// not one, and what it accepts must be written back to the same record.
#include <string>

#include "FuzzSupport.h"
#include "RcpEnrolment.h"
#include "RcpSignKeys.h"
#include "RcpSignatureLog.h"

namespace {

using qvfuzz::Require;

void KeyFile(const std::string& text) {
  rcpsign::KeyFile file;
  std::string problem;
  if (!rcpsign::ParseKeyFile(text, &file, &problem)) {
    Require(!problem.empty(), "a refused key file says nothing");
    return;
  }
  Require(file.key.size() == rcpsign::kKeyBytes, "a key of the wrong size was taken");
  Require(rcpsign::KeyFileText(file) == text, "a key file does not read back as written");
}

void Enrolment(const std::string& line) {
  rcpsign::Enrolment e;
  if (!rcpsign::ParseEnrolment(line, &e)) return;
  rcpsign::Enrolment again;
  Require(rcpsign::ParseEnrolment(rcpsign::EnrolmentLine(e), &again), "an enrolment does not parse as written");
  Require(rcpsign::EnrolmentText(again) == rcpsign::EnrolmentText(e), "an enrolment changed on the way back");
}

void Signature(const std::string& line) {
  rcpstore::RecipeSignature s;
  if (!rcpsign::ParseSignature(line, &s)) return;
  rcpstore::RecipeSignature again;
  Require(rcpsign::ParseSignature(rcpsign::SignatureLine(s), &again), "a signature does not parse as written");
  Require(rcpsign::SignatureText(again) == rcpsign::SignatureText(s), "a signature changed on the way back");
  Require(!rcpsign::Verifies(s.key, rcpsign::SignatureText(s) + "x", s.signature), "a changed text verified");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  KeyFile(text);
  Enrolment(text);
  Signature(text);
  return 0;
}
