// Stand-in for the history's reads until the history lands; removed then.
#include <nettle/sha2.h>

#include "RcpHistory.h"
#include "platform/Env.h"

namespace rcphistory {

namespace {

std::string Hex(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

std::string HashOf(const std::string& bytes) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, bytes.size(), reinterpret_cast<const uint8_t*>(bytes.data()));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  return Hex(digest, sizeof digest);
}

uint32_t HashOfFile(const std::string& path, std::string* hash) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  if (uint32_t rc = qvplatform::CurrentEnv()->OpenForRead(path, &file)) return rc;
  sha256_ctx ctx;
  sha256_init(&ctx);
  char block[65536];
  size_t got = 0;
  do {
    if (uint32_t rc = file->Read(block, sizeof block, &got)) return rc;
    sha256_update(&ctx, got, reinterpret_cast<const uint8_t*>(block));
  } while (got > 0);
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  *hash = Hex(digest, sizeof digest);
  return 0;
}

std::optional<Version> LastVersion(const std::string&) { return std::nullopt; }

}  // namespace rcphistory
