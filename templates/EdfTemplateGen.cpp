// Builds a binary EDF template from its readable description.
//   edf-template-gen DESCRIPTION OUTPUT
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "libqveeda/QVEEdaFile.h"

namespace {

int Fail(const std::string& where, const std::string& what) {
  std::fprintf(stderr, "edf-template-gen: %s: %s\n", where.c_str(), what.c_str());
  return 1;
}

std::string WithIndex(const std::string& text, uint32_t index) {
  std::string out = text;
  size_t at = out.find("%d");
  if (at != std::string::npos) out.replace(at, 2, std::to_string(index + 1));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage", "edf-template-gen DESCRIPTION OUTPUT");
  std::ifstream in(argv[1]);
  if (!in) return Fail(argv[1], "cannot be read");
  uint32_t kind = 0;
  std::string name;
  std::vector<QVEEdaRecord> records;
  size_t current = 0;  // the first record of the latest "record" line
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word[0] == '#') continue;
    std::string where = std::string(argv[1]) + ":" + std::to_string(number);
    if (word == "kind") {
      words >> std::hex >> kind;
    } else if (word == "name") {
      words >> name;
    } else if (word == "record") {
      std::string recordName, range, size;
      words >> recordName >> range >> size;
      size_t dash = range.find('-');
      uint32_t first = std::stoul(range.substr(0, dash));
      uint32_t last = dash == std::string::npos ? first : std::stoul(range.substr(dash + 1));
      current = records.size();
      for (uint32_t i = first; i <= last; ++i) {
        records.push_back({recordName, i, std::vector<uint8_t>(std::stoul(size, nullptr, 0), 0)});
      }
    } else if (word == "text") {
      std::string offset, width, text;
      words >> offset >> width;
      std::getline(words >> std::ws, text);
      size_t at = std::stoul(offset, nullptr, 0);
      size_t w = std::stoul(width, nullptr, 0);
      for (size_t r = current; r < records.size(); ++r) {
        if (at + w > records[r].bytes.size()) return Fail(where, "text outside the record");
        QVEEdaPutText(records[r].bytes.data(), at, w, WithIndex(text, records[r].index));
      }
    } else {
      return Fail(where, "unknown line: " + word);
    }
  }
  std::vector<uint8_t> file = QVEEdaBuildFile(kind, name, records);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return out ? 0 : Fail(argv[2], "cannot be written");
}
