// Small shared classes of the engineering data library whose inline members
// this library carries: an unsigned array kept in order, the engineering
// data records and their copies, and the project CSV files.
#pragma once

#include <cstdint>

#include "QVFramework.h"
#include "libqveeda/QVEEdaFile.h"

// Unsigned values, appended or kept in ascending order.
class QV_EXPORT CQVEEdaUIntArray : public CUIntArray {
 public:
  // Appends the value; its index.
  int Add(unsigned value) {
    push_back(value);
    return GetSize() - 1;
  }
  // Inserts the value before the first element greater than it (after the
  // ones equal to it) and returns 1; with no greater element it is appended
  // and its index returned.
  int Insert(unsigned value) {
    for (auto it = begin(); it != end(); ++it) {
      if (*it > value) {
        insert(it, value);
        return 1;
      }
    }
    return Add(value);
  }
  // Removes the first element equal to the value: 1, or 0 when there is none.
  int Delete(unsigned value) {
    for (auto it = begin(); it != end(); ++it) {
      if (*it == value) {
        erase(it);
        return 1;
      }
    }
    return 0;
  }
  // The caller keeps the index below GetSize(); it is not checked.
  unsigned GetAt(int index) const { return data()[index]; }
  unsigned operator[](int index) const { return GetAt(index); }
  void RemoveAt(int index, int count) { erase(begin() + index, begin() + index + count); }
  int GetSize() const { return static_cast<int>(size()); }
};

// Engineering data records: plain data, copied member by member.
class CQVEEdaTbl {
 public:
  uint32_t m_nKind = 0;
  uint32_t m_nCount = 0;
  uint32_t m_nOffset = 0;
};

class CQVEEdaRDBFile {
 public:
  uint32_t m_nFileKind = 0;
  uint32_t m_nRecords = 0;
  char m_szName[32] = {};
};

// The common part of a reference record: a number, a name and a text.
class CQVEEdaRefCom {
 public:
  uint32_t m_nNo = 0;
  char m_szName[32] = {};
  char m_szText[64] = {};
};

class CQVEEdaRefTag : public CQVEEdaRefCom {
 public:
  uint32_t m_nStation = 0;
};

class CQVEEdaRefHIS : public CQVEEdaRefCom {
 public:
  uint32_t m_nStation = 0;
};

class CQVEEdaRefEng : public CQVEEdaRefCom {
 public:
  uint32_t m_nFlags = 0;
};

class CQVEEdaRefFB : public CQVEEdaRefCom {
 public:
  uint32_t m_nBlockType = 0;
};

// A control station's reference file: the file part, the station's name
// and four numbers; copies copy the name as a string.
class CQVEEdaRefFCS : public CQVEEdaRDBFile {
 public:
  CString m_strStation;
  uint32_t m_nDomain = 0;
  uint32_t m_nStation = 0;
  uint32_t m_nType = 0;
  uint32_t m_nFlags = 0;
};

// A system object: eight numbers, then three texts.
class CQVEKXEdaSysObj {
 public:
  uint32_t m_nValue[8] = {};
  CString m_strName;
  CString m_strComment;
  CString m_strPath;
};

class CQVEKXEdaOtherInst {
 public:
  bool IsInstFileLoaed() const { return m_nLoaded != 0; }
  uint32_t m_nLoaded = 0;
};

class CQVEEdaOdtTagFileMng {
 public:
  uint32_t GetSize() const { return m_nSize; }
  uint32_t m_nSize = 0;
};

// A set of mapped data files written back together.
class QV_EXPORT CQVEEdaTFDATA {
 public:
  // Writes back and releases every mapping of the set; the first failure,
  // after all have been tried.
  uint32_t CommitAll();
  uint32_t CommitAllFiles() { return CommitAll(); }
  std::vector<CQVEEdaFileMap*> m_files;
};

// The question dialog's state: the window it belongs to.
class CQVEEdaAskDlg {
 public:
  explicit CQVEEdaAskDlg(void* parent) : m_pParent(parent) {}
  CQVEEdaAskDlg() : CQVEEdaAskDlg(nullptr) {}
  void* m_pParent;
};

// A project CSV file: a line with the file's id, the column line, then one
// line per record, written to a work copy and put in place of the file in
// one step on Close (the old file stays whole until then).
class QV_EXPORT CQVEEdaPjtCSVFileBase : public CObject {
 public:
  CQVEEdaPjtCSVFileBase();
  ~CQVEEdaPjtCSVFileBase() override;

  // Starts the file at path: its work copy is taken and the head written.
  virtual uint32_t Open(const char* path);
  // Puts the written file in place; LastError() tells whether it got there.
  // Without an Open nothing happens.
  virtual void Close();
  // Writes one record's line.
  virtual uint32_t Write(CQVEEdaRefCom* record);
  uint32_t LastError() const { return error_; }

 protected:
  virtual uint32_t WriteBody(CQVEEdaRefCom* record, CString& line) = 0;
  virtual CString GetHeadLine() = 0;
  virtual uint16_t GetFileID() = 0;

 private:
  QVEEngTextWriter writer_;
  CString path_;
  bool open_ = false;
  uint32_t error_ = 0;
};

// The switch labels of a project.
class QV_EXPORT CQVEEdaSWLabelCSVFile : public CQVEEdaPjtCSVFileBase {
 public:
  CQVEEdaSWLabelCSVFile() = default;
  ~CQVEEdaSWLabelCSVFile() override = default;

 protected:
  uint32_t WriteBody(CQVEEdaRefCom* record, CString& line) override;
  CString GetHeadLine() override;
  uint16_t GetFileID() override;
};

// The engineering units of a project.
class QV_EXPORT CQVEEdaEngUnitCSVFile : public CQVEEdaPjtCSVFileBase {
 public:
  CQVEEdaEngUnitCSVFile() = default;
  ~CQVEEdaEngUnitCSVFile() override = default;

 protected:
  uint32_t WriteBody(CQVEEdaRefCom* record, CString& line) override;
  CString GetHeadLine() override;
  uint16_t GetFileID() override;
};
