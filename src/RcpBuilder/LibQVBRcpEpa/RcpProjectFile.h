// A project directory's attribute file, read without its registration, and
// registrations that write the file and the registry all or nothing.
#pragma once

#include <vector>

#include "LibQVBRcpEpa.h"
#include "RcpKeywordFile.h"

namespace rcpproject {

// Reads the attributes in force for the project directory into info (its
// path is left as it is): those of Recipe/RcpPJTAttr.txt, or of a
// registration that has committed and is not yet finished. 0, or why the
// file cannot be read.
uint32_t ReadAttributes(const CString& projectDirectory, _QVERcpProjectInfo* info);

// The lines of an attribute file holding info's attributes.
std::vector<CStringArray> AttributeLines(const _QVERcpProjectInfo& info);
// Applies one line of an attribute file to info; other keywords are skipped.
void ApplyAttributeLine(const rcptext::KeywordLine& line, _QVERcpProjectInfo* info);

// The directory registered for the project name on this station; empty when none.
CString RegisteredDirectory(const CString& name);

// Registers name for info.strPath and writes info's attributes into its
// attribute file, all or nothing. The new attributes are written first as a
// record beside the file (".RcpPJTAttr.txt.register", naming the name and
// the directory); the registration commits them, and the file takes them
// after. Readers take the attributes from a committed record; whoever next
// holds the project's lock finishes it, or drops one that never committed.
uint32_t Register(const CString& name, const _QVERcpProjectInfo& info);

// The record of a committed, unfinished registration of the project
// directory; empty when there is none.
CString CommittedRegistration(const CString& projectDirectory);

// Finishes or drops what a killed Register left in the project directory;
// for a holder of the project's lock.
uint32_t SettleRegistration(const CString& projectDirectory);

}  // namespace rcpproject
