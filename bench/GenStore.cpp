// Generates a recipe store for the benchmarks.
//
//   rcpstore-genstore STORE GROUPS RECIPES [HEADER [UNIT]]  G groups x R recipes,
//       each recipe with a few files and a TEMP directory, each group with its
//       attribute file and a sub-group file that places half its recipes in
//       nested sub-groups; with HEADER, every RcpHead.edf is a copy of that file,
//       with UNIT every RcpRP.edf and RcpPT01.edf one of that file
//   rcpstore-genstore --subgroup-file FILE LINES  one sub-group file of about
//       LINES lines, nested deep and wide; prints the path of its deepest
//       sub-group (names separated by blanks)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string RecipeName(int n) {
  char name[16];
  std::snprintf(name, sizeof name, "RCP%04d", n);
  return name;
}

// Every fourth recipe of the half that is arranged goes two levels deep.
std::string SubGroupFile(int recipes) {
  std::string out;
  int arranged = recipes / 2;
  for (int first = 1; first <= arranged; first += 50) {
    std::string outer = "Area" + std::to_string(first);
    out += "STARTSUB," + outer + "\r\n";
    for (int n = first; n < first + 50 && n <= arranged; ++n) {
      if (n % 4 == 0) {
        out += "STARTSUB,Cell" + std::to_string(n) + "\r\nNODE," + RecipeName(n) + "\r\nENDSUB,Cell" +
               std::to_string(n) + "\r\n";
      } else {
        out += "NODE," + RecipeName(n) + "\r\n";
      }
    }
    out += "ENDSUB," + outer + "\r\n";
  }
  return out;
}

// Data files are copies of the given file, or a few placeholder bytes.
void WriteDataFile(const fs::path& path, const std::string& copyOf) {
  if (copyOf.empty()) {
    WriteText(path, "EDF");
  } else {
    fs::copy_file(copyOf, path, fs::copy_options::overwrite_existing);
  }
}

int GenerateStore(const fs::path& store, int groups, int recipes, const std::string& header, const std::string& unit) {
  fs::create_directories(store / "Recipe");
  WriteText(store / "Recipe" / "RcpPJTAttr.txt",
            "REVISION,R3.00.00\r\nSTATUS,C\r\nCOMMENT,\r\nPJTHOST,\r\nREFPJTDIR,\r\nVERSION,MAN\r\n");
  for (int g = 1; g <= groups; ++g) {
    char group[16];
    std::snprintf(group, sizeof group, "RG%02d", g);
    fs::path groupDir = store / "Recipe" / group;
    for (int r = 1; r <= recipes; ++r) {
      fs::path recipe = groupDir / RecipeName(r);
      fs::create_directories(recipe / "TEMP");
      WriteDataFile(recipe / "RcpHead.edf", header);
      for (const char* file : {"RcpRP.edf", "RcpPT01.edf"}) WriteDataFile(recipe / file, unit);
    }
    WriteText(groupDir / "RcpGrAttr.txt", "COMMENT\r\nSERVER\r\nSERVER\r\n");
    WriteText(groupDir / "RcpSubGroup.txt", SubGroupFile(recipes));
  }
  return 0;
}

// Wide: many top-level sub-groups; deep: one chain of nested ones in the middle.
int GenerateSubGroupFile(const fs::path& file, int lines) {
  std::string out;
  std::string deepest;
  int written = 0;
  int wide = lines / 3;
  for (int i = 0; written < wide; ++i, written += 5) {
    out += "STARTSUB,Wide" + std::to_string(i) + "\r\nNODE,RCP" + std::to_string(1000 + i) +
           "\r\nSTARTSUB,Inner\r\nENDSUB,Inner\r\nENDSUB,Wide" + std::to_string(i) + "\r\n";
  }
  const int depth = 60;  // the readers follow sub-groups 64 deep
  for (int d = 0; d < depth; ++d, ++written) {
    out += "STARTSUB,Deep" + std::to_string(d) + "\r\n";
    deepest += (d ? " " : "") + std::string("Deep") + std::to_string(d);
  }
  for (; written < lines - depth; ++written) out += "NODE,X" + std::to_string(written) + "\r\n";
  for (int d = depth - 1; d >= 0; --d) out += "ENDSUB,Deep" + std::to_string(d) + "\r\n";
  WriteText(file, out);
  std::printf("%s\n", deepest.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--subgroup-file") {
    return GenerateSubGroupFile(argv[2], std::atoi(argv[3]));
  }
  if (argc >= 4 && argc <= 6) {
    return GenerateStore(argv[1], std::atoi(argv[2]), std::atoi(argv[3]), argc >= 5 ? argv[4] : "",
                         argc == 6 ? argv[5] : "");
  }
  std::fprintf(stderr, "usage: rcpstore-genstore STORE GROUPS RECIPES [HEADER [UNIT]] | --subgroup-file FILE LINES\n");
  return 2;
}
