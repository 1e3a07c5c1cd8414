#include "RcpSignKeys.h"

#include <nettle/eddsa.h>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Signatures.h"
#include "platform/PrivateFile.h"
#include "platform/Registry.h"
#include "platform/Win32Types.h"

namespace rcpsign {

namespace {

constexpr char kPublicTag[] = "rcpstore-ed25519-public";
constexpr char kSecretTag[] = "rcpstore-ed25519-private";
constexpr char kSecretName[] = "signing.key";
constexpr char kPublicName[] = "signing.pub";

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.data()); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string RandomBytes(size_t n) {
  std::string bytes(n, '\0');
  for (size_t at = 0; at < n;) {
    ssize_t got = getrandom(bytes.data() + at, n - at, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) rcpstore::Fail("no random bytes for a key", ERROR_GEN_FAILURE);
    at += static_cast<size_t>(got);
  }
  return bytes;
}

}  // namespace

bool FromHex(const std::string& hex, size_t bytes, std::string* out) {
  if (hex.size() != 2 * bytes) return false;
  out->assign(bytes, '\0');
  for (size_t i = 0; i < bytes; ++i) {
    int high = HexDigit(hex[2 * i]);
    int low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*out)[i] = static_cast<char>(high * 16 + low);
  }
  return true;
}

bool IsUserName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-') return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

std::string KeyFileText(const KeyFile& file) {
  return std::string(file.secret ? kSecretTag : kPublicTag) + " " + file.user + " " + Hex(file.key) + "\n";
}

bool ParseKeyFile(const std::string& text, KeyFile* out, std::string* problem) {
  if (text.size() > kLongestKeyFile || text.empty() || text.back() != '\n') {
    *problem = "not one line ended by a line feed";
    return false;
  }
  std::string line = text.substr(0, text.size() - 1);
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (second == std::string::npos || line.find_first_of(" \n", second + 1) != std::string::npos) {
    *problem = "not three words on one line";
    return false;
  }
  std::string tag = line.substr(0, first);
  out->secret = tag == kSecretTag;
  out->user = line.substr(first + 1, second - first - 1);
  if (!out->secret && tag != kPublicTag) {
    *problem = "not a key file of rcpstore";
  } else if (!IsUserName(out->user)) {
    *problem = "no user name where one belongs";
  } else if (!FromHex(line.substr(second + 1), kKeyBytes, &out->key)) {
    *problem = "the key is not 64 hex digits";
  } else {
    return true;
  }
  return false;
}

std::string PublicKeyOf(const std::string& secret) {
  std::string key(kKeyBytes, '\0');
  ed25519_sha512_public_key(reinterpret_cast<uint8_t*>(key.data()), Bytes(secret));
  return key;
}

std::string SignText(const std::string& secret, const std::string& message) {
  std::string signature(kSignatureBytes, '\0');
  ed25519_sha512_sign(Bytes(PublicKeyOf(secret)), Bytes(secret), message.size(), Bytes(message),
                      reinterpret_cast<uint8_t*>(signature.data()));
  return Hex(signature);
}

bool Verifies(const std::string& publicKeyHex, const std::string& message, const std::string& signatureHex) {
  std::string key;
  std::string signature;
  return FromHex(publicKeyHex, kKeyBytes, &key) && FromHex(signatureHex, kSignatureBytes, &signature) &&
         ed25519_sha512_verify(Bytes(key), message.size(), Bytes(message), Bytes(signature)) == 1;
}

std::string SignedText(const std::string& title, const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string text = title + "\n";
  for (const auto& [name, value] : fields) text += name + " " + std::to_string(value.size()) + "\n" + value + "\n";
  return text;
}

OwnKey ReadOwnKey() {
  std::string path = rcpstore::UserKeyDirectory() + "/" + kSecretName;
  std::string text;
  if (uint32_t rc = qvplatform::ReadOwnFile(path, kLongestKeyFile, true, &text)) {
    rcpstore::Fail("no signing key of yours at " + rcpstore::Printable(path) + " (" + rcpstore::CodeMeaning(rc) +
                       "); `rcpstore key init` makes one",
                   rc);
  }
  KeyFile file;
  std::string problem;
  if (!ParseKeyFile(text, &file, &problem) || !file.secret) {
    rcpstore::Fail("the signing key " + rcpstore::Printable(path) + " is damaged: " + problem, kDamaged);
  }
  return {file.user, file.key, Hex(PublicKeyOf(file.key))};
}

}  // namespace rcpsign

namespace rcpstore {

std::string UserKeyDirectory() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/rcpstore";
  struct passwd* user = getpwuid(geteuid());
  if (user == nullptr || user->pw_dir == nullptr || user->pw_dir[0] != '/') {
    Fail("the caller has no home directory for a key; set XDG_CONFIG_HOME", ERROR_PATH_NOT_FOUND);
  }
  return std::string(user->pw_dir) + "/.config/rcpstore";
}

std::string MakeUserKey(bool replace) {
  std::string directory = UserKeyDirectory();
  Check(qvplatform::MakeOwnDirectory(directory), "cannot make the key directory " + Printable(directory));
  rcpsign::KeyFile secret{true, qvplatform::CallerUserName(), rcpsign::RandomBytes(rcpsign::kKeyBytes)};
  if (!rcpsign::IsUserName(secret.user)) Fail("the user name cannot be carried by a key", ERROR_INVALID_NAME);
  rcpsign::KeyFile open{false, secret.user, rcpsign::PublicKeyOf(secret.key)};
  uint32_t rc = qvplatform::WriteOwnFile(directory, rcpsign::kSecretName, rcpsign::KeyFileText(secret), replace, true);
  if (rc == ERROR_FILE_EXISTS) Fail("a key pair exists already in " + Printable(directory) + " (--force replaces it)", rc);
  Check(rc, "cannot write the signing key in " + Printable(directory));
  Check(qvplatform::WriteOwnFile(directory, rcpsign::kPublicName, rcpsign::KeyFileText(open), true, false),
        "cannot write the public key in " + Printable(directory));
  return directory + "/" + rcpsign::kPublicName;
}

}  // namespace rcpstore
