// Contents kept inline in a version log: small ones travel in the line of
// the version that first has them, deflated and in base64, so that a
// version costs one append to one file; large ones go to the object store.
// The log's index names the contents kept inline, so that finding a content
// new never needs the log read whole; the log alone is trusted.
#include <nettle/base64.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "RcpHistory.h"
#include "libqveeda/QVEEdaFile.h"
#include "platform/Env.h"
#include "platform/Win32Types.h"

namespace rcphistory {

namespace {

// No kept content is larger than a file the history reads.
constexpr size_t kLargestContent = size_t{64} << 20;
// A content whose packed text is larger goes to the object store.
constexpr size_t kLargestInline = size_t{16} << 10;

std::string IndexPathOf(const std::string& log) { return log.substr(0, log.size() - 4) + ".idx"; }

// The index names a content by the first 16 digits of its SHA-256, enough
// to tell contents apart, and the offset in the log of the line that keeps
// it: "<digits> <offset>" a line (an older index gives no offset).
constexpr size_t kIndexDigits = 16;
constexpr uint64_t kNoOffset = UINT64_MAX;
// A longer index line is no entry.
constexpr size_t kLongestEntry = 64;

uint64_t OffsetAfter(const char* at, const char* end) {
  if (at == end || *at != ' ') return kNoOffset;
  uint64_t offset = 0;
  for (++at; at != end && *at >= '0' && *at <= '9'; ++at) {
    if (offset > (kLargestLog - 9) / 10) return kNoOffset;
    offset = offset * 10 + static_cast<uint64_t>(*at - '0');
  }
  return at != end && *at == '\n' ? offset : kNoOffset;
}

// The entries of the index for the hash, as offsets (kNoOffset where an
// entry gives none); read a block at a time into one buffer, so that a
// change never holds a long index whole.
std::vector<uint64_t> IndexedAt(const std::string& index, const std::string& hash) {
  std::vector<uint64_t> offsets;
  std::unique_ptr<qvplatform::ReadableFile> file;
  uint64_t size = 0;
  // without one, every content is new
  if (qvplatform::CurrentEnv()->OpenForRead(index, &file) != 0 || file->Size(&size) != 0) return offsets;
  char block[16384];
  size_t carried = 0;  // the start of a line that the block before ended in
  for (uint64_t total = 0; total < kLargestLog;) {
    size_t got = 0;
    size_t room = sizeof block - carried;
    if (file->Read(block + carried, room, &got) != 0 || got == 0) break;
    total += got;
    size_t filled = carried + got;
    size_t whole = filled;  // the whole lines end here
    while (whole > 0 && block[whole - 1] != '\n') --whole;
    for (size_t at = 0; at < whole; at += kIndexDigits) {
      const void* found = memmem(block + at, whole - at, hash.data(), kIndexDigits);
      if (found == nullptr) break;
      at = static_cast<size_t>(static_cast<const char*>(found) - block);
      if (at == 0 || block[at - 1] == '\n') offsets.push_back(OffsetAfter(block + at + kIndexDigits, block + whole));
    }
    carried = whole == 0 || filled - whole > kLongestEntry ? 0 : filled - whole;
    memmove(block, block + filled - carried, carried);
    if (got < room && total >= size) break;  // the end, as in ReadWhole
  }
  return offsets;
}

// Whether the line of the log at offset keeps the content inline, intact.
// No version line is longer than a few dozen contents kept inline.
constexpr size_t kLongestLine = size_t{4} << 20;
bool LineAtKeeps(const std::string& log, uint64_t offset, const std::string& hash) {
  std::unique_ptr<qvplatform::ReadableFile> file;
  uint64_t size = 0;
  if (qvplatform::CurrentEnv()->OpenForRead(log, &file) != 0 || file->Size(&size) != 0 || offset >= size ||
      file->Skip(offset) != 0) {
    return false;
  }
  std::string line;
  char block[16384];
  while (line.size() < kLongestLine) {
    size_t got = 0;
    if (file->Read(block, sizeof block, &got) != 0 || got == 0) return false;
    const char* feed = static_cast<const char*>(memchr(block, '\n', got));
    line.append(block, feed != nullptr ? static_cast<size_t>(feed - block) : got);
    if (feed != nullptr) return KeepsInline(line, hash);
  }
  return false;
}

// Whether the log keeps the content inline, intact. The index only says
// where to look: a content it does not name is new (or its note was lost,
// and the content is kept once more), one it names is checked in the line
// it gives, else in the whole log.
class InlineContents {
 public:
  explicit InlineContents(std::string log) : log_(std::move(log)) {}
  bool Keeps(const std::string& hash) {
    std::vector<uint64_t> offsets = IndexedAt(IndexPathOf(log_), hash);
    if (offsets.empty()) return false;
    for (uint64_t offset : offsets) {
      if (offset != kNoOffset && LineAtKeeps(log_, offset, hash)) return true;
    }
    if (!logRead_) logRead_ = ReadWhole(log_, &logBytes_, kLargestLog) == 0;
    return logRead_ && KeepsInline(logBytes_, hash);
  }

 private:
  std::string log_;
  std::string logBytes_;
  bool logRead_ = false;
};

uint32_t Inflated(const std::string& deflated, std::string* bytes) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return ERROR_NOT_ENOUGH_MEMORY;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  zs.avail_in = static_cast<uInt>(deflated.size());
  bytes->clear();
  int rc = Z_OK;
  char block[65536];
  while (rc == Z_OK && bytes->size() <= kLargestContent) {
    zs.next_out = reinterpret_cast<Bytef*>(block);
    zs.avail_out = sizeof block;
    rc = inflate(&zs, Z_NO_FLUSH);
    bytes->append(block, sizeof block - zs.avail_out);
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // cut short
  }
  bool whole = rc == Z_STREAM_END && zs.avail_in == 0 && bytes->size() <= kLargestContent;
  inflateEnd(&zs);
  return whole ? 0 : ERROR_FILE_CORRUPT;
}

// One deflate stream per thread, reset for each content: setting a stream
// up costs more than deflating a small content.
class Deflater {
 public:
  Deflater() { ready_ = deflateInit2(&zs_, Z_BEST_SPEED, Z_DEFLATED, 15, 5, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~Deflater() {
    if (ready_) deflateEnd(&zs_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // The bytes deflated; "" when they could not be.
  std::string Deflated(const std::string& bytes) {
    if (!ready_ || deflateReset(&zs_) != Z_OK) return std::string();
    std::string deflated(deflateBound(&zs_, static_cast<uLong>(bytes.size())), '\0');
    zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    zs_.avail_in = static_cast<uInt>(bytes.size());
    zs_.next_out = reinterpret_cast<Bytef*>(deflated.data());
    zs_.avail_out = static_cast<uInt>(deflated.size());
    bool done = deflate(&zs_, Z_FINISH) == Z_STREAM_END;
    deflated.resize(done ? zs_.total_out : 0);
    return deflated;
  }

 private:
  z_stream zs_{};
  bool ready_ = false;
};

}  // namespace

std::string Packed(const std::string& bytes) {
  thread_local Deflater deflater;
  std::string deflated = deflater.Deflated(bytes);
  if (deflated.empty()) return std::string();
  std::string text(BASE64_ENCODE_RAW_LENGTH(deflated.size()), '\0');
  base64_encode_raw(text.data(), deflated.size(), reinterpret_cast<const uint8_t*>(deflated.data()));
  return text;
}

uint32_t Unpacked(const std::string& text, std::string* bytes) {
  if (text.size() > 2 * kLargestContent) return ERROR_FILE_CORRUPT;
  std::string deflated(BASE64_DECODE_LENGTH(text.size()), '\0');
  base64_decode_ctx ctx;
  base64_decode_init(&ctx);
  size_t size = deflated.size();
  if (!base64_decode_update(&ctx, &size, reinterpret_cast<uint8_t*>(deflated.data()), text.size(), text.data()) ||
      !base64_decode_final(&ctx)) {
    return ERROR_FILE_CORRUPT;
  }
  deflated.resize(size);
  return Inflated(deflated, bytes);
}

bool KeepsInline(const std::string& log, const std::string& hash) {
  const std::string key = "\"" + hash + "\":\"";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
    size_t begin = at + key.size();
    size_t end = log.find('"', begin);
    std::string bytes;
    if (end != std::string::npos && Unpacked(log.substr(begin, end - begin), &bytes) == 0 && HashOf(bytes) == hash) {
      return true;
    }
  }
  return false;
}

uint32_t KeepContents(const std::string& recipeDirectory, const std::map<std::string, std::string>& contents,
                      const Version* last, Version* version) {
  std::string history = HistoryDirOf(recipeDirectory);
  InlineContents kept(LogPathOf(recipeDirectory));
  auto inLast = [&](const std::string& hash) {
    return last != nullptr && std::any_of(last->files.begin(), last->files.end(),
                                          [&](const auto& file) { return file.second == hash; });
  };
  for (const auto& [name, hash] : version->files) {
    auto content = contents.find(hash);
    if (content == contents.end() || version->packed.count(hash) != 0 || inLast(hash) || kept.Keeps(hash) ||
        HasObject(history, hash)) {
      continue;
    }
    std::string packed = Packed(content->second);
    if (!packed.empty() && packed.size() <= kLargestInline) {
      version->packed[hash] = std::move(packed);
    } else if (uint32_t rc = StoreObject(history, content->second, &packed)) {
      return rc;
    }
  }
  return 0;
}

// The index is a hint: it is neither flushed nor checked for success.
void NoteKept(const std::string& log, const Version& version, uint64_t offset) {
  if (version.packed.empty()) return;
  std::string lines;
  for (const auto& entry : version.packed) {
    lines += entry.first.substr(0, kIndexDigits) + " " + std::to_string(offset) + "\n";
  }
  qvplatform::Env* env = qvplatform::CurrentEnv();
  std::unique_ptr<qvplatform::WritableFile> file;
  std::string index = IndexPathOf(log);
  if (env->OpenForAppend(index, &file) != 0 && env->CreateForWrite(index, &file) != 0) return;
  if (file->Append(lines.data(), lines.size()) == 0) file->Close();
}

KeptContents::KeptContents(const std::string& recipeDirectory, const std::vector<Version>& versions)
    : history_(HistoryDirOf(recipeDirectory)) {
  for (const Version& version : versions) {
    for (const auto& [hash, text] : version.packed) inline_.emplace(hash, text);
  }
}

uint32_t KeptContents::Read(const std::string& hash, std::string* bytes) const {
  // A damaged line may name a content that a later line keeps intact, or
  // the object store.
  auto [first, end] = inline_.equal_range(hash);
  for (auto packed = first; packed != end; ++packed) {
    if (Unpacked(packed->second, bytes) == 0 && HashOf(*bytes) == hash) return 0;
  }
  uint32_t rc = ReadObject(history_, hash, bytes);
  return rc != 0 && first != end ? ERROR_FILE_CORRUPT : rc;
}

}  // namespace rcphistory
