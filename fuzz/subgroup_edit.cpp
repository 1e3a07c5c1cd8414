// The five sub-group edits on fuzzed files, each checked byte for byte
// against a model of the edit written here from the file's rules alone,
// and no work copy may be left behind.
//
// Input: an operation byte (bit 7: the file is missing), a path length, the
// path's names and a second name (the new name, or the recipe), each as a
// length byte and bytes; the rest is the file.
#include <algorithm>
#include <optional>
#include <vector>

#include "FuzzSupport.h"
#include "LibQVBRcpEpa.h"
#include "libqveeda/QVEEdaCsv.h"

namespace {

using qvfuzz::Require;
using Names = std::vector<std::string>;

constexpr size_t kLineBuffer = 1024;

// One line as the reader hands it over: at most 1023 bytes, ending after the
// first line feed, CR LF read as LF.
struct Piece {
  std::string text;
  bool parsed = false;
  std::string keyword;
  std::string value;
};

std::vector<Piece> Pieces(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' || i + 1 == bytes.size() || bytes[i + 1] != '\n') text += bytes[i];
  }
  std::vector<Piece> pieces;
  for (size_t at = 0; at < text.size();) {
    size_t n = std::min(kLineBuffer - 1, text.size() - at);
    size_t feed = text.find('\n', at);
    if (feed != std::string::npos && feed < at + n) n = feed + 1 - at;
    Piece piece;
    piece.text = text.substr(at, n);
    at += n;
    // The parser sees the line up to its line feed or its first zero byte.
    CStringArray items;
    std::string line = piece.text.substr(0, piece.text.find_first_of(std::string("\n\0", 2)));
    if (QVEEdaCsvParseLine(line.c_str(), items) == 0 && !items.empty()) {
      piece.parsed = true;
      piece.keyword = items[0];
      piece.value = items.size() > 1 ? items[1] : "";
    }
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

// The new text. A written line always starts a line of its own: after a
// last line that had no line feed, one is put first.
class Output {
 public:
  void Keep(const Piece& piece) {
    text_ += piece.text;
    open_ = piece.text.back() != '\n' && piece.text.size() < kLineBuffer - 1;
  }
  void Line(const char* keyword, const std::string& name) {
    CString joined;
    QVEEdaCsvMargeItem(CStringArray{keyword, name}, joined);
    if (open_) text_ += '\n';
    text_ += joined + '\n';
    open_ = false;
  }
  // On disk every line feed is CR LF.
  std::string Bytes() const {
    std::string bytes;
    for (char c : text_) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return bytes;
  }

 private:
  std::string text_;
  bool open_ = false;
};

bool Writable(const char* keyword, const std::string& name) {
  if (name.find_first_of("\r\n") != std::string::npos) return false;
  CString joined;
  QVEEdaCsvMargeItem(CStringArray{keyword, name}, joined);
  return joined.size() + 2 <= kLineBuffer;
}

// The open sub-groups while the file is read; a line that opens or closes
// the sub-group whose whole path is a prefix of the path asked for reports
// that prefix's length.
class Nesting {
 public:
  explicit Nesting(const Names& path) : path_(path) {}
  // The level a "STARTSUB" line opens along the path, 0 when none.
  size_t Open(const std::string& name) {
    size_t level = OnPath() && open_.size() < path_.size() && path_[open_.size()] == name ? open_.size() + 1 : 0;
    open_.push_back(name);
    return level;
  }
  // The level an "ENDSUB" line closes along the path, 0 when none.
  size_t Close() {
    if (open_.empty()) return 0;
    size_t level = OnPath() && open_.size() <= path_.size() ? open_.size() : 0;
    open_.pop_back();
    return level;
  }
  bool AtTop() const { return open_.empty(); }

 private:
  bool OnPath() const {
    return open_.size() <= path_.size() && std::equal(open_.begin(), open_.end(), path_.begin());
  }
  const Names& path_;
  Names open_;
};

// Reads one parsed line into the nesting: the level it opens (positive) or
// closes (negative) along the path.
long Step(Nesting& nesting, const Piece& piece) {
  if (piece.keyword == "STARTSUB") return static_cast<long>(nesting.Open(piece.value));
  if (piece.keyword == "ENDSUB") return -static_cast<long>(nesting.Close());
  return 0;
}

bool Exists(const std::vector<Piece>& pieces, const Names& path) {
  Nesting nesting(path);
  for (const Piece& p : pieces) {
    if (p.parsed && Step(nesting, p) == static_cast<long>(path.size())) return true;
  }
  return false;
}

// What an edit should give: its result and the file's new bytes (none when
// the file must stay as it was).
struct Expected {
  uint32_t rc = 0;
  std::optional<std::string> bytes;
};

Expected Unchanged(uint32_t rc) { return {rc, std::nullopt}; }

Expected InsertSubGroup(const std::vector<Piece>& pieces, const Names& path) {
  const size_t n = path.size();
  if (n < 1 || !Writable("STARTSUB", path.back()) || Exists(pieces, path)) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  Output out;
  bool done = n == 1;
  if (n == 1) {
    out.Line("STARTSUB", path[0]);
    out.Line("ENDSUB", path[0]);
  }
  Nesting nesting(path);
  for (const Piece& p : pieces) {
    out.Keep(p);
    if (n == 1 || !p.parsed) continue;
    if (Step(nesting, p) == static_cast<long>(n - 1) && !done) {
      out.Line("STARTSUB", path[n - 1]);
      out.Line("ENDSUB", path[n - 1]);
      done = true;
    }
  }
  return {done ? 0u : QVC_ERR_CANNOT_EXECUTE, out.Bytes()};
}

// Lines that do not parse are dropped by the edits that rewrite lines.
Expected DeleteSubGroup(const std::vector<Piece>& pieces, const Names& path) {
  const size_t n = path.size();
  if (n < 1) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  Output out;
  Nesting nesting(path);
  bool inside = false;
  for (const Piece& p : pieces) {
    if (!p.parsed) continue;
    long event = Step(nesting, p);
    if (event == static_cast<long>(n)) inside = true;
    if (!inside || (n > 1 && p.keyword == "NODE")) out.Keep(p);
    if (event == -static_cast<long>(n)) inside = false;
  }
  return {0, out.Bytes()};
}

Expected RenameSubGroup(const std::vector<Piece>& pieces, const Names& path, const std::string& name) {
  const size_t n = path.size();
  if (n < 1) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  Names renamed = path;
  renamed.back() = name;
  if (Exists(pieces, renamed)) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  Output out;
  Nesting nesting(path);
  bool found = false;
  for (const Piece& p : pieces) {
    if (!p.parsed) continue;
    long event = Step(nesting, p);
    if (event == static_cast<long>(n) || event == -static_cast<long>(n)) {
      out.Line(event > 0 ? "STARTSUB" : "ENDSUB", name);
      found = true;
    } else {
      out.Keep(p);
    }
  }
  return {found ? 0u : QVC_ERR_NOT_FOUND, out.Bytes()};
}

// The recipe goes into every sub-group with the path that opens after the
// nesting has been back at the top level.
Expected InsertItem(const std::vector<Piece>& pieces, const Names& path, const std::string& name) {
  const size_t n = path.size();
  if (n < 1) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  for (const Piece& p : pieces) {
    if (p.parsed && p.keyword == "NODE" && p.value == name) return Unchanged(QVC_ERR_CANNOT_EXECUTE);
  }
  Output out;
  Nesting nesting(path);
  bool armed = true;
  bool placed = false;
  for (const Piece& p : pieces) {
    out.Keep(p);
    if (!p.parsed) continue;
    long event = Step(nesting, p);
    if (event == static_cast<long>(n) && armed) {
      out.Line("NODE", name);
      placed = true;
      armed = false;
    }
    if (nesting.AtTop()) armed = true;
  }
  return {placed ? 0u : QVC_ERR_NOT_FOUND, out.Bytes()};
}

Expected DeleteItem(const std::vector<Piece>& pieces, const std::string& name) {
  Output out;
  bool removed = false;
  for (const Piece& p : pieces) {
    if (!p.parsed) continue;
    if (p.keyword == "NODE" && p.value == name) {
      removed = true;
      continue;
    }
    out.Keep(p);
  }
  return {removed ? 0u : QVC_ERR_NOT_FOUND, out.Bytes()};
}

// The checks every edit makes before it reads the file.
std::optional<uint32_t> Precheck(int op, bool missing, const Names& path, const std::string& name) {
  if (op == 0) {
    if (!path.empty() && !Writable("STARTSUB", path.back())) return QVC_ERR_CANNOT_EXECUTE;
    return std::nullopt;  // a missing file reads as an empty one
  }
  if (op == 2 && !Writable("STARTSUB", name)) return QVC_ERR_CANNOT_EXECUTE;
  if (op == 3 && !Writable("NODE", name)) return QVC_ERR_CANNOT_EXECUTE;
  if (missing) return QVC_ERR_TEXT_FILE_OPEN;
  return std::nullopt;
}

Expected Model(int op, bool missing, const std::string& bytes, const Names& path, const std::string& name) {
  if (std::optional<uint32_t> rc = Precheck(op, missing, path, name)) return Unchanged(*rc);
  const std::vector<Piece> pieces = Pieces(missing ? std::string() : bytes);
  switch (op) {
    case 0: return InsertSubGroup(pieces, path);
    case 1: return DeleteSubGroup(pieces, path);
    case 2: return RenameSubGroup(pieces, path, name);
    case 3: return InsertItem(pieces, path, name);
    default: return DeleteItem(pieces, name);
  }
}

uint32_t Run(int op, const std::string& group, const Names& path, const std::string& name) {
  CStringArray p(path.begin(), path.end());
  CQVERcpDirInfo item;
  item.m_strName = name;
  switch (op) {
    case 0: return CQVERcpUtil::InsertSubGroup(group.c_str(), p);
    case 1: return CQVERcpUtil::DeleteSubGroup(group.c_str(), p);
    case 2: return CQVERcpUtil::RenameSubGroup(group.c_str(), name.c_str(), p);
    case 3: return CQVERcpUtil::InsertItemToSubGroup(group.c_str(), p, &item);
    default: return CQVERcpUtil::DeleteItemFromSubGroup(group.c_str(), p, &item);
  }
}

// Names never hold a zero byte: they come from command lines.
std::string Name(qvfuzz::Input& input) {
  std::string name = input.ShortString();
  std::replace(name.begin(), name.end(), '\0', '_');
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string group = qvfuzz::ScratchDir() + "/P/Recipe/RG01";
  static const std::string file = group + "/RcpSubGroup.txt";
  static const std::string work = group + "/RcpSubGroupwork.txt";
  qvfuzz::MakeDirs(group);

  qvfuzz::Input input(data, size);
  const uint8_t opByte = input.Byte();
  const int op = (opByte & 0x7F) % 5;
  const bool missing = (opByte & 0x80) != 0;
  Names path(input.Byte() % 4);
  for (std::string& name : path) name = Name(input);
  const std::string name = Name(input);
  const std::string before(reinterpret_cast<const char*>(input.rest()), input.restSize());

  std::remove(file.c_str());
  if (!missing) qvfuzz::WriteFile(file, before);
  const Expected expected = Model(op, missing, before, path, name);
  const uint32_t rc = Run(op, group, path, name);

  Require(rc == expected.rc, "the result differs from the model's");
  Require(!qvfuzz::Exists(work), "a work copy was left behind");
  if (expected.bytes) {
    qvfuzz::RequireSame(qvfuzz::ReadFile(file), *expected.bytes, "the file differs from the model's");
  } else if (missing) {
    Require(!qvfuzz::Exists(file), "a refused edit created the file");
  } else {
    qvfuzz::RequireSame(qvfuzz::ReadFile(file), before, "a refused edit changed the file");
  }
  return 0;
}
