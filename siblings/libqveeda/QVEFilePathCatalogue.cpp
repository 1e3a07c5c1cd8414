#include "libqveeda/QVEFilePathCatalogue.h"

#include <cstdlib>

unsigned QVEFilePathArguments::Number(size_t i) const {
  const char* text = Text(i);
  return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 0;
}

namespace {

// An entry: the member's name, its arguments in words, its keys and a call
// of the member with the given arguments.
#define QVE_SECOND_KEY(first, ...) QVE_FIRST_OF(__VA_ARGS__ __VA_OPT__(, ) nullptr)
#define QVE_FIRST_OF(first, ...) first
#define QVE_ENTRY(member, words, call, ...)                                                           \
  {#member, words, QVE_FIRST_OF(__VA_ARGS__), QVE_SECOND_KEY(__VA_ARGS__),                             \
   [](CQVEFilePath& r, [[maybe_unused]] const QVEFilePathArguments& a, CString* p) -> uint32_t { return call; }},

// The arguments of each pattern's members.
#define QVE_ENTRY_TMPL_FILE(m, ...) QVE_ENTRY(m, "", r.m(p), __VA_ARGS__)
#define QVE_ENTRY_TMPL_FILE_REF(m, ...) QVE_ENTRY(m, "", r.m(*p), __VA_ARGS__)
#define QVE_ENTRY_TMPL_NAMED_FILE(m, ...) QVE_ENTRY(m, "NAME", r.m(a.Text(0), p), __VA_ARGS__)
#define QVE_ENTRY_TMPL_HATCH(m, ...) QVE_ENTRY(m, "[NAME]", r.m(a.Text(0), p), __VA_ARGS__)
#define QVE_ENTRY_UDF_FOLDER(m, ...) QVE_ENTRY(m, "OWNER", r.m(a.Text(0), p), __VA_ARGS__)
#define QVE_ENTRY_UDF_FILE QVE_ENTRY_UDF_FOLDER
#define QVE_ENTRY_UDF_NAMED_FILE(m, ...) QVE_ENTRY(m, "OWNER FILE", r.m(a.Text(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_UDF_FILE_OR_FOLDER(m, ...) QVE_ENTRY(m, "OWNER [FILE]", r.m(a.Text(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_UDF_KEY_OR_FOLDER(m, ...) QVE_ENTRY(m, "OWNER [KEY]", r.m(a.Text(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_UDF_NUMBERED_FILE(m, ...) QVE_ENTRY(m, "OWNER NUMBER", r.m(a.Text(0), a.Number(1), p), __VA_ARGS__)
#define QVE_ENTRY_SYSTEM_FILE QVE_ENTRY_TMPL_FILE
#define QVE_ENTRY_SYSTEM_FILE_REF QVE_ENTRY_TMPL_FILE_REF
#define QVE_ENTRY_SYSTEM_KEY_OR_FOLDER(m, ...) QVE_ENTRY(m, "[KEY]", r.m(a.Text(0), p), __VA_ARGS__)
#define QVE_ENTRY_SYSTEM_NUMBERED(m, ...) QVE_ENTRY(m, "NUMBER", r.m(a.Number(0), p), __VA_ARGS__)
#define QVE_ENTRY_SYSTEM_NUMBERED_FILE_OR_FOLDER(m, ...) \
  QVE_ENTRY(m, "NUMBER [FILE]", r.m(a.Number(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_SYSTEM_NUMBER_OR_FOLDER QVE_ENTRY_SYSTEM_NUMBERED
#define QVE_ENTRY_SYSTEM_NAMED_OR_FOLDER QVE_ENTRY_TMPL_HATCH
#define QVE_ENTRY_FCS_FILE(m, ...) QVE_ENTRY(m, "STATION", r.m(a.Text(0), p), __VA_ARGS__)
#define QVE_ENTRY_FCS_NAMED_FILE(m, ...) QVE_ENTRY(m, "STATION FILE", r.m(a.Text(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_FCS_MATRIX_NUMBER(m, ...) QVE_ENTRY(m, "STATION NUMBER", r.m(a.Text(0), a.Number(1), p), __VA_ARGS__)
#define QVE_ENTRY_FCS_FILE_OR_FOLDER(m, ...) QVE_ENTRY(m, "STATION [FILE]", r.m(a.Text(0), a.Text(1), p), __VA_ARGS__)
#define QVE_ENTRY_STATION_NAMED QVE_ENTRY_FCS_NAMED_FILE
#define QVE_ENTRY_STATION_NUMBERED QVE_ENTRY_FCS_MATRIX_NUMBER
#define QVE_ENTRY_STATION_PLAIN QVE_ENTRY_FCS_FILE
#define QVE_ENTRY_STATION_MESSAGE QVE_ENTRY_FCS_FILE
#define QVE_ENTRY_HIS_FILE QVE_ENTRY_FCS_FILE
#define QVE_ENTRY_STN_FOLDER QVE_ENTRY_FCS_FILE
#define QVE_ENTRY_STN_FILE_OR_FOLDER QVE_ENTRY_FCS_FILE_OR_FOLDER

#define QVE_ENTRIES_OF(pattern) QVE_PATH_##pattern(QVE_ENTRY_##pattern)

}  // namespace

const std::vector<QVEFilePathMember>& QVEFilePathMembers() {
  static const std::vector<QVEFilePathMember> members = {
      QVE_PATH_PATTERNS(QVE_ENTRIES_OF)
      {"GetProjectTopDir", "", nullptr, nullptr,
       [](CQVEFilePath& r, const QVEFilePathArguments&, CString* p) -> uint32_t {
         *p = r.GetProjectTopDir();
         return 0;
       }},
  };
  return members;
}
