// Ed25519 keys: the user's own pair, the text of key files, signing and
// checking, and the canonical text that a signature signs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "RcpHistory.h"

namespace rcpsign {

constexpr uint32_t kDamaged = 1392;  // the file is damaged or not of the expected format
constexpr size_t kKeyBytes = 32;
constexpr size_t kSignatureBytes = 64;
constexpr size_t kLongestKeyFile = 4096;

using rcphistory::Hex;
// The bytes of lower-case hex of the given length in bytes; false for
// anything else.
bool FromHex(const std::string& hex, size_t bytes, std::string* out);

// A key file: one line "rcpstore-ed25519-public USER HEX" (or -private with
// the 32-byte secret), ended by a line feed.
struct KeyFile {
  bool secret = false;
  std::string user;
  std::string key;  // raw bytes
};
std::string KeyFileText(const KeyFile& file);
// False, saying why, for a text that is not one key file line.
bool ParseKeyFile(const std::string& text, KeyFile* out, std::string* problem);

// The public key of a secret key.
std::string PublicKeyOf(const std::string& secret);
// The signature (hex) of message by the secret key.
std::string SignText(const std::string& secret, const std::string& message);
// Whether signatureHex is publicKeyHex's signature of message.
bool Verifies(const std::string& publicKeyHex, const std::string& message, const std::string& signatureHex);

// The text a signature signs: a title line, then each field as "NAME SIZE",
// a line feed, the value and a line feed, so that no value can pass for
// another field whatever bytes it holds.
std::string SignedText(const std::string& title, const std::vector<std::pair<std::string, std::string>>& fields);

// The caller's own key pair, read from the user key directory; fails,
// saying how to make one, when there is none.
struct OwnKey {
  std::string user;
  std::string secret;
  std::string publicHex;
};
OwnKey ReadOwnKey();

// A user name as enrolments and signatures carry it: letters, digits, ".",
// "_", "-", not beginning with "." or "-", at most 64 bytes.
bool IsUserName(const std::string& name);

}  // namespace rcpsign
