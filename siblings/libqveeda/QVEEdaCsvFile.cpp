// The project CSV files and the set of data files written back together.
#include <cstring>

#include "LibQVCCommon/QVCCodes.h"
#include "QVEEdaClasses.h"
#include "libqveeda/QVEEdaCsv.h"

namespace {

CString FixedText(const char* text, size_t width) { return CString(text, strnlen(text, width)); }

// A reference record's line: its number, name and text.
uint32_t MergeRecord(const CQVEEdaRefCom* record, CString& line) {
  if (record == nullptr) return QVC_ERR_CANNOT_EXECUTE;
  const CStringArray items = {std::to_string(record->m_nNo), FixedText(record->m_szName, sizeof record->m_szName),
                              FixedText(record->m_szText, sizeof record->m_szText)};
  return QVEEdaCsvMargeItem(items, line);
}

}  // namespace

uint32_t CQVEEdaTFDATA::CommitAll() {
  uint32_t first = 0;
  for (CQVEEdaFileMap* file : m_files) {
    if (file == nullptr) continue;
    const uint32_t rc = file->Close();
    if (first == 0) first = rc;
  }
  return first;
}

CQVEEdaPjtCSVFileBase::CQVEEdaPjtCSVFileBase() = default;
CQVEEdaPjtCSVFileBase::~CQVEEdaPjtCSVFileBase() = default;

uint32_t CQVEEdaPjtCSVFileBase::Open(const char* path) {
  if (open_ || path == nullptr || *path == 0) return QVC_ERR_CANNOT_EXECUTE;
  if (uint32_t rc = writer_.Create(CString(path) + ".new")) return rc;
  path_ = path;
  open_ = true;
  error_ = 0;
  CString id;
  QVEEdaCsvMargeItem({"FileID", std::to_string(GetFileID())}, id);
  return writer_.Write(id + "\n" + GetHeadLine() + "\n");
}

void CQVEEdaPjtCSVFileBase::Close() {
  if (!open_) return;
  open_ = false;
  error_ = writer_.Commit(path_);
}

uint32_t CQVEEdaPjtCSVFileBase::Write(CQVEEdaRefCom* record) {
  if (!open_) return QVC_ERR_CANNOT_EXECUTE;
  CString line;
  if (uint32_t rc = WriteBody(record, line)) return rc;
  return writer_.Write(line + "\n");
}

uint32_t CQVEEdaSWLabelCSVFile::WriteBody(CQVEEdaRefCom* record, CString& line) { return MergeRecord(record, line); }
CString CQVEEdaSWLabelCSVFile::GetHeadLine() { return "No,Label,Comment"; }
uint16_t CQVEEdaSWLabelCSVFile::GetFileID() { return 0x2470; }

uint32_t CQVEEdaEngUnitCSVFile::WriteBody(CQVEEdaRefCom* record, CString& line) { return MergeRecord(record, line); }
CString CQVEEdaEngUnitCSVFile::GetHeadLine() { return "No,Unit,Comment"; }
uint16_t CQVEEdaEngUnitCSVFile::GetFileID() { return 0x2471; }
