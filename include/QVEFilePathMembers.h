// The members of the engineering path catalogue of CQVEFilePath: one member
// per kind of engineering file or folder, each fixing its key (or choosing
// between a file key and a folder key) and forwarding to one core operation
// of the resolver with its arguments in order. Nothing else happens in a
// member: the core operation's result and path are handed back unchanged.
//
// The members are listed per pattern: X(member, key) or X(member, file key,
// folder key). QVE_PATH_BODY_<pattern> gives the member's body, and
// QVE_PATH_PATTERNS lets other code (the command line's table of members)
// walk the same lists.
#pragma once

// Template file of the system set: GetTmplFilePath (key, null, path).
#define QVE_PATH_TMPL_FILE(X) \
  X(GetTmplStnInfoPath, "DATINFO") \
  X(GetTmplStnNamePath, "DATSTNNAME") \
  X(GetTmplEndianPath, "DATENDIAN") \
  X(GetTmplSBIODummyDBPath, "DATSBIODUMMY") \
  X(GetTmplTagRefDefaultPath, "DATSTNTAGREF")

// The same, the path given by reference.
#define QVE_PATH_TMPL_FILE_REF(X) \
  X(GetFDAHISTDBDefaultPath, "DATFDAHISTDBDEF")

// Named template file: GetTmplFilePath (key, name, path).
#define QVE_PATH_TMPL_NAMED_FILE(X) \
  X(GetTmplStnDefPath, "DATSTN") \
  X(GetTmplInstPath, "DATINST") \
  X(GetTmplENGTAVEXIncPath, "DATENGTAVEXINC") \
  X(GetTmplENGCALCUIncPath, "DATENGCALCUINC")

// A named hatch file, or without a name the system set's hatch folder.
#define QVE_PATH_TMPL_HATCH(X) \
  X(GetTmplENGHatchPath, "DATENGHATCH", "HATCHDEFAULT")

// An owner's template folder: GetUDFTmplFolderPath (key, owner, path).
#define QVE_PATH_UDF_FOLDER(X) \
  X(GetTmplProjectDefaultPath, "PJTDEFAULT") \
  X(GetTmplHISDefaultPath, "HISDEFAULT") \
  X(GetTmplSTNDefaultPath, "STNDEFAULT") \
  X(GetTmplTagListDefaultPath, "STNTAGDEFAULT") \
  X(GetTmplACGDefaultPath, "ACGDEFAULT") \
  X(GetTmplENGDefaultPath, "ENGDEFAULT")

// An owner's template file: GetUDFTmplFilePath (key, null, owner, path).
#define QVE_PATH_UDF_FILE(X) \
  X(GetTmplSTNPubTaglistPath, "STNPUBTAG") \
  X(GetTmplSTNFMSTaglistPath, "STNFMSTAG") \
  X(GetTmplSTNDatPRMsgPath, "STNDATPRMSG") \
  X(GetTmplSTNSeqMsgPath, "STNSEQMSG") \
  X(GetTmplSTNOpgMsgPath, "STNOPGMSG") \
  X(GetTmplSTNAreaDefPath, "STNARADEF") \
  X(GetTmplHISWndShortCutPath, "HISWNDSHORT") \
  X(GetTmplHISHelpWndShortCutPath, "HISHELPWNDSHORT") \
  X(GetTmplHISTrendCorrectAssignPath, "HISTRDCRRCTASGN") \
  X(GetTmplHISShortCutPath, "HISSHORT")

// A named file of an owner: GetUDFTmplFilePath (key, file, owner, path).
#define QVE_PATH_UDF_NAMED_FILE(X) \
  X(GetTmplGraphicPartsPath, "ENGPARTS") \
  X(GetTmplHISWndPath, "HISWND") \
  X(GetTmplHISHelpWndPath, "HISHELPWND")

// A named file under the file key, or without a name the folder key's folder.
#define QVE_PATH_UDF_FILE_OR_FOLDER(X) \
  X(GetTmplACGProgPath, "ACGSYS", "ACGSYS") \
  X(GetTmplACGDBPath, "ACGSKEL", "ACGSKEL") \
  X(GetTmplBatchPath, "BATCHDEFAULT", "BATCH")

// A file named by a key the caller passes, or without one the folder.
#define QVE_PATH_UDF_KEY_OR_FOLDER(X) \
  X(GetTmplACGShortCutPath, "ACGSHORT") \
  X(GetTmplInfoPath, "INFO") \
  X(GetTmplDefFilesPath, "DEFFILES") \
  X(GetTmplFbSymbolPath, "ENGDRAW") \
  X(GetTmplLcSymbolPath, "ENGLOGIC") \
  X(GetTmplSelDocExPath, "SELDOCEX") \
  X(GetTmplSelDocPrtTextPath, "SELDOCPRT") \
  X(GetTmplRcpPath, "RCP")

// A numbered template file: GetUDFTmplFilePath1 (number, key, null, owner, path).
#define QVE_PATH_UDF_NUMBERED_FILE(X) \
  X(GetTmplHISTrendDspAssignPath, "HISTRDDSPASGN")

// A project file: GetSystemFilePath (key, path).
#define QVE_PATH_SYSTEM_FILE(X) \
  X(GetSystemAttributePath, "SYPJTATR") \
  X(GetSystemConstPath, "SYCST") \
  X(GetSystemPjtRefrencePath, "SYPJTREFRDB") \
  X(GetSystemPjtRefrencePath2, "SYPJTREF") \
  X(GetSystemEngRefPath, "SYENGREFRDB") \
  X(GetSystemEngRefPath2, "SYENGREF") \
  X(GetSystemTagRefrencePath, "SYTAGREFRDB") \
  X(GetSystemTagRefrencePath2, "SYTAGREF") \
  X(GetSystemUnitPath, "SYUNT") \
  X(GetSystemUnitTxtPath, "SYUNTXT") \
  X(GetSystemSWLabelPath, "SYSWT") \
  X(GetSystemSWLabelTxtPath, "SYSWTXT") \
  X(GetSystemStsMsgPath, "SYSTS") \
  X(GetSystemSysStsLabelEDFPath, "SYSSTSEDF") \
  X(GetSystemBlkStsLabelEDFPath, "BLKSTSEDF") \
  X(GetSystemAlmStsLabelEDFPath, "ALMSTSEDF") \
  X(GetSystemAlmTblPath, "SYATB") \
  X(GetSystemAlmPriPath, "SYAPR") \
  X(GetSystemAlmDefPath, "SYALM") \
  X(GetSystemStsChangePath, "SYCHG") \
  X(GetSystemStsChangeEDFPath, "STSCHGEDF") \
  X(GetSystemMatrixPath, "SYMLT") \
  X(GetSystemPlantClassPath, "SYPLT") \
  X(GetSystemInstGroupPath, "SYINST") \
  X(GetSystemConfigPath, "SYCFG") \
  X(GetSystemSecurityPath, "SYSECURITY") \
  X(GetSystemOpeMarkPath, "SYOPEMARK") \
  X(GetSystemDefSecurityPath, "SYDEFSEC") \
  X(GetSystemALockPath, "SYLOCKA") \
  X(GetPjtBackupLockPath, "SYLOCKPJTBACKUP") \
  X(GetPjtBackupInfoPath, "SYPJTBACKUPINFO") \
  X(GetPjtNotBackupTxtPath, "SYPJTNOTBACKUPTXT") \
  X(GetSystemCLockPath, "SYLOCKC") \
  X(GetMultFileGenLockPath, "SYLOCKA") \
  X(GetSystemDspColorPath, "SYDSP") \
  X(GetSystemUserSeclPath, "SYUSRSEC") \
  X(GetSystemACTLTablePath, "SYACTBL") \
  X(GetSystemRevisionInfoPath, "SYREVINF") \
  X(GetSbFbEnvFilePath, "SBFBENV") \
  X(GetSbFbCFDDFileDefaultPath, "SBFBCFDDFILE") \
  X(GetSbFbHostFileDefaultPath, "SBFBHOSTFILE")

// The same, the path given by reference.
#define QVE_PATH_SYSTEM_FILE_REF(X) \
  X(GetFDAInfoFilePath, "FDAINFOFILE")

// A project file named by a key the caller passes, or without one the folder.
#define QVE_PATH_SYSTEM_KEY_OR_FOLDER(X) \
  X(GetSystemEtcPath, "ETC") \
  X(GetSystemCommPath, "COM") \
  X(GetSystemBatchPath, "BAT") \
  X(GetSystemBatchEtcPath, "BATETC") \
  X(GetSeldocPath, "SELDOC")

// A numbered project file: GetPath (null, number, 0, 0, key, null, path).
#define QVE_PATH_SYSTEM_NUMBERED(X) \
  X(GetSystemMatrixEDFPath, "MTXEDF") \
  X(GetSystemMatrixDefPath, "SYMLD")

// A named file of a numbered project folder, or the folder; the number is passed in both cases.
#define QVE_PATH_SYSTEM_NUMBERED_FILE_OR_FOLDER(X) \
  X(GetSystemBatchRGPath, "SYBATRG", "SYFOLDERBATRG")

// A numbered project file, or for number 0 its folder.
#define QVE_PATH_SYSTEM_NUMBER_OR_FOLDER(X) \
  X(GetSystemBatchCommPath, "SYBATCOM", "SYFOLDERBATCOM") \
  X(GetSystemBatchEtcCommPath, "SYBATETCCOM", "SYFOLDERBATETCCOM")

// A named project file through GetPath, or without a name its folder.
#define QVE_PATH_SYSTEM_NAMED_OR_FOLDER(X) \
  X(GetTAVEXIncPath, "SYTAVEXINC", "SYFOLDERTAVEXINC")

// A station's file: GetFCSFilePath (station, key, path).
#define QVE_PATH_FCS_FILE(X) \
  X(GetSystemTagRefrencePath, "FCTAGREFRDB") \
  X(GetFCSProgPath, "FCPROGRAM") \
  X(GetFCSSFDataPath, "FCLSF") \
  X(GetFCSTFData0Path, "FCLT0") \
  X(GetFCSTFData1Path, "FCLT1") \
  X(GetFCSAreaDefPath, "FCARA") \
  X(GetFCSRefrencePath, "FCREFRDB") \
  X(GetFCSRefrencePath2, "FCREF") \
  X(GetFCSEngRefPath, "FCENGREFRDB") \
  X(GetFCSEngRefPath2, "FCENGREF") \
  X(GetFCSIOMUnitPath, "FCIOMUNIT") \
  X(GetFCSPRTagPath, "FCPRTAG") \
  X(GetFCSOGTagPath, "FCOGTAG") \
  X(GetFCSAdlDefPath, "FCADL") \
  X(GetFCSInstGroupPath, "FCINSTGRP") \
  X(GetFCSFncListPath, "FCFNCL") \
  X(GetFCSSfcListPath, "FCSFCL") \
  X(GetFCSPrListPath, "FCPRL") \
  X(GetFCSUsInstListPath, "FCUSINSTL") \
  X(GetFCSOpTxt1Path, "FCOPTXT1") \
  X(GetFCSOpTxt2Path, "FCOPTXT2") \
  X(GetFCSConfigPath, "FCSTN") \
  X(GetFCSEquipmentPath, "FCEQUIPMENT") \
  X(GetFCSIOMDefPath, "FCIOMDEF") \
  X(GetFCSIOMDefSBPath, "FCIOMDEFSB") \
  X(GetFCSCommonSWPath, "FCSWT") \
  X(GetFCSCommDataWWPath, "FCCOMMDATAWW") \
  X(GetFCSWBTagDefPath, "FCWBTAG") \
  X(GetFCSGsSWDefPath, "FCGSW") \
  X(GetFCSStsLabelPath, "FCSTS") \
  X(GetFCSStsChangePath, "FCCHG") \
  X(GetFCSSBIOOffLoadLogPath, "FCSBIOOFFLDLOG") \
  X(GetFCSFBRefPath, "FCFBREFRDB") \
  X(GetFCSIomLockPath, "FCIOMLOCK") \
  X(GetHISEngRefPath, "OPENGREFRDB") \
  X(GetHISEngRefPath2, "OPENGREF")

// A named file of a station: GetFCSFilePath (station, file, key, path).
#define QVE_PATH_FCS_NAMED_FILE(X) \
  X(GetFCSProgPath2, "FCPROGRAM2") \
  X(GetFCSCALCUIncPath, "FCCALCUINC") \
  X(GetFCSLogicChartPath, "FCLC") \
  X(GetFCSMatrixDefPath, "FCMTX")

// A station's matrix by number: the file "Matrix<number>" under the key.
#define QVE_PATH_FCS_MATRIX_NUMBER(X) \
  X(GetFCSMatrixDefPath, "FCMTX")

// A named file of a station under the file key, or without a name the folder key's folder.
#define QVE_PATH_FCS_FILE_OR_FOLDER(X) \
  X(GetFCSSeqLibFuncTypePath, "FCSEQFUNC", "FCFOLDERSEQLIBFNC") \
  X(GetFCSSeqLibTavexFncPath, "FCSEQTVXFNC", "FCFOLDERSEQLIBTVXFNC") \
  X(GetFCSSeqLibSfcSeqPath, "FCSEQSFCSEQ", "FCFOLDERSEQLIBSFCSEQ") \
  X(GetFCSSeqLibUnitProcPath, "FCSEQUNITPROC", "FCFOLDERSEQLIBUNITPROC") \
  X(GetFCSSeqLibTavexFncObjPath, "FCSEQTVXFNCO", "FCFOLDERSEQTVXFNCO") \
  X(GetFCSSeqLibSfcSeqTavexSrcPath, "FCSEQSFCSEQL", "FCFOLDERSEQSFCSEQL") \
  X(GetFCSSeqLibSfcSeqObjPath, "FCSEQSFCSEQO", "FCFOLDERSEQSFCSEQO") \
  X(GetFCSSeqLibUnitProcObjPath, "FCSEQUNITPRCO", "FCFOLDERSEQUNITPRCO") \
  X(GetFCSSeqLibTavexFncDispPath, "FCTVXFNC", "FCFOLDERSEQLIBTVXFNCDISP") \
  X(GetFCSSeqLibSfcSeqDispPath, "FCSFCSEQ", "FCFOLDERSEQLIBSFCSEQDISP") \
  X(GetFCSSeqLibUnitProcDispPath, "FCUNITPROC", "FCFOLDERSEQLIBUNITPROCDISP") \
  X(GetFCSUserCSTMAlgPath, "FCUSRCSTMPROG", "FCUSRCSTM")

// A named station file through GetPath (station, 0, 0, 0, key, file, path).
#define QVE_PATH_STATION_NAMED(X) \
  X(GetFCSTPPath, "FCTPS") \
  X(GetFCSDiffPath, "FCDIF") \
  X(GetFCSUserProcedurePath, "FCUSRPRC") \
  X(GetHISHelpWindowPath, "OPHELP")

// A numbered station file through GetPath (station, number, 0, 0, key, null, path).
#define QVE_PATH_STATION_NUMBERED(X) \
  X(GetFCSCommDataWBPath, "FCCOMMDATAWB") \
  X(GetHISTrendGetPath, "OPTRGET")

// A station file through GetPath (station, 0, 0, 0, key, null, path).
#define QVE_PATH_STATION_PLAIN(X) \
  X(GetFCSBLockPath, "FCLOCKB") \
  X(GetMultFileGenLockPath, "FCMULTGENLOCK") \
  X(GetStationGenLockPath, "FCSTNGENLOCK") \
  X(GetBackupLockStationPath, "BACKUPSTNLOCK") \
  X(GetFCSFcsCPath, "FCSFCSCL")

// A station's message file, numbered by the station's number (GetStnNo, then GetPath).
#define QVE_PATH_STATION_MESSAGE(X) \
  X(GetFCSPRMsgPath, "FCSQM") \
  X(GetFCSANMsgPath, "FCANM") \
  X(GetFCSOGMsgPath, "FCOPM") \
  X(GetFCSEVMsgPath, "FCEVM")

// An operator station's file: GetHISFilePath (station, key, path).
#define QVE_PATH_HIS_FILE(X) \
  X(GetHISRefrencePath, "OPREFRDB") \
  X(GetHISRefrencePath2, "OPREF") \
  X(GetHISTrendAssignGPath, "OPTRASNG") \
  X(GetHISTrendBlockPath, "OPTRBLK") \
  X(GetHISTrendAssignDispPath, "OPTRASNDSP") \
  X(GetHISClsMngPath, "OPCLSMNG") \
  X(GetHISClsDefPath, "OPCLSDEF") \
  X(GetHISClsTmpDefPath, "OPCLSDEFTMP") \
  X(GetHISConfigPath, "OPSTN") \
  X(GetHISSchedulerPath, "OPSCD") \
  X(GetHISPanelSetPath, "OPPANELSET") \
  X(GetHISSeqMsgReqPath, "OPMRQ") \
  X(GetHISTrendDefPath, "OPTRDEF") \
  X(GetHISFuncKeyPath, "OUFNC") \
  X(GetHISWindowListPath, "OPWNDLIST") \
  X(GetHISWindowSubListPath, "OPWNDSUBLIST") \
  X(GetHISLtmDefPath, "OPLTMDEF") \
  X(GetHISSecurityPath, "OPSECURITY") \
  X(GetHISOpeconDefPath, "OPCONFDEF") \
  X(GetHISSecOdbPath, "OPHISSEC")

// A station's folder: GetSTNFolderPath (station, key, path).
#define QVE_PATH_STN_FOLDER(X) \
  X(GetSTNEtcTopPath, "ETC") \
  X(GetSTNTagListTopPath, "TAGLIST")

// A named file of a station's folder, or without a name the folder.
#define QVE_PATH_STN_FILE_OR_FOLDER(X) \
  X(GetSTNTagListPath, "TAGLIST") \
  X(GetSTNEtcPath, "ETC")

// The body of a member of each pattern, inside class CQVEFilePath.
#define QVE_PATH_BODY_TMPL_FILE(member, key) \
  uint32_t member(CString* path) { return GetTmplFilePath(key, nullptr, path); }
#define QVE_PATH_BODY_TMPL_FILE_REF(member, key) \
  uint32_t member(CString& path) { return GetTmplFilePath(key, nullptr, &path); }
#define QVE_PATH_BODY_TMPL_NAMED_FILE(member, key) \
  uint32_t member(const char* name, CString* path) { return GetTmplFilePath(key, name, path); }
#define QVE_PATH_BODY_TMPL_HATCH(member, fileKey, folderKey)                    \
  uint32_t member(const char* name, CString* path) {                            \
    return name != nullptr ? GetTmplFilePath(fileKey, name, path)               \
                           : GetUDFTmplFolderPath(folderKey, "QVSystem", path); \
  }
#define QVE_PATH_BODY_UDF_FOLDER(member, key) \
  uint32_t member(const char* owner, CString* path) { return GetUDFTmplFolderPath(key, owner, path); }
#define QVE_PATH_BODY_UDF_FILE(member, key) \
  uint32_t member(const char* owner, CString* path) { return GetUDFTmplFilePath(key, nullptr, owner, path); }
#define QVE_PATH_BODY_UDF_NAMED_FILE(member, key)                    \
  uint32_t member(const char* owner, const char* file, CString* path) { \
    return GetUDFTmplFilePath(key, file, owner, path);               \
  }
#define QVE_PATH_BODY_UDF_FILE_OR_FOLDER(member, fileKey, folderKey)          \
  uint32_t member(const char* owner, const char* file, CString* path) {       \
    return file != nullptr ? GetUDFTmplFilePath(fileKey, file, owner, path)   \
                           : GetUDFTmplFolderPath(folderKey, owner, path);    \
  }
#define QVE_PATH_BODY_UDF_KEY_OR_FOLDER(member, folderKey)                      \
  uint32_t member(const char* owner, const char* fileKey, CString* path) {      \
    return fileKey != nullptr ? GetUDFTmplFilePath(fileKey, nullptr, owner, path) \
                              : GetUDFTmplFolderPath(folderKey, owner, path);   \
  }
#define QVE_PATH_BODY_UDF_NUMBERED_FILE(member, key)                  \
  uint32_t member(const char* owner, unsigned number, CString* path) { \
    return GetUDFTmplFilePath1(number, key, nullptr, owner, path);    \
  }
#define QVE_PATH_BODY_SYSTEM_FILE(member, key) \
  uint32_t member(CString* path) { return GetSystemFilePath(key, path); }
#define QVE_PATH_BODY_SYSTEM_FILE_REF(member, key) \
  uint32_t member(CString& path) { return GetSystemFilePath(key, &path); }
#define QVE_PATH_BODY_SYSTEM_KEY_OR_FOLDER(member, folderKey)                                      \
  uint32_t member(const char* name, CString* path) {                                             \
    return name != nullptr ? GetSystemFilePath(name, path) : GetSystemFolderPath(folderKey, path); \
  }
#define QVE_PATH_BODY_SYSTEM_NUMBERED(member, key) \
  uint32_t member(unsigned number, CString* path) { return GetPath(nullptr, number, 0, 0, key, nullptr, path); }
#define QVE_PATH_BODY_SYSTEM_NUMBERED_FILE_OR_FOLDER(member, fileKey, folderKey) \
  uint32_t member(unsigned number, const char* file, CString* path) {           \
    return file != nullptr ? GetPath(nullptr, number, 0, 0, fileKey, file, path) \
                           : GetPath(nullptr, number, 0, 0, folderKey, nullptr, path); \
  }
#define QVE_PATH_BODY_SYSTEM_NUMBER_OR_FOLDER(member, key, folderKey)              \
  uint32_t member(unsigned number, CString* path) {                              \
    return number != 0 ? GetPath(nullptr, number, 0, 0, key, nullptr, path)     \
                       : GetPath(nullptr, 0, 0, 0, folderKey, nullptr, path);    \
  }
#define QVE_PATH_BODY_SYSTEM_NAMED_OR_FOLDER(member, fileKey, folderKey)         \
  uint32_t member(const char* name, CString* path) {                            \
    return name != nullptr ? GetPath(nullptr, 0, 0, 0, fileKey, name, path)     \
                           : GetPath(nullptr, 0, 0, 0, folderKey, nullptr, path); \
  }
#define QVE_PATH_BODY_FCS_FILE(member, key) \
  uint32_t member(const char* station, CString* path) { return GetFCSFilePath(station, key, path); }
#define QVE_PATH_BODY_FCS_NAMED_FILE(member, key)                        \
  uint32_t member(const char* station, const char* file, CString* path) { \
    return GetFCSFilePath(station, file, key, path);                     \
  }
#define QVE_PATH_BODY_FCS_MATRIX_NUMBER(member, key)                         \
  uint32_t member(const char* station, unsigned matrix, CString* path) {     \
    const CString name = QVFormat("Matrix%u", matrix);                       \
    return GetFCSFilePath(station, name.c_str(), key, path);                 \
  }
#define QVE_PATH_BODY_FCS_FILE_OR_FOLDER(member, fileKey, folderKey)          \
  uint32_t member(const char* station, const char* file, CString* path) {     \
    return file != nullptr ? GetFCSFilePath(station, file, fileKey, path)     \
                           : GetFCSFilePath(station, folderKey, path);        \
  }
#define QVE_PATH_BODY_STATION_NAMED(member, key)                         \
  uint32_t member(const char* station, const char* file, CString* path) { \
    return GetPath(station, 0, 0, 0, key, file, path);                   \
  }
#define QVE_PATH_BODY_STATION_NUMBERED(member, key)                     \
  uint32_t member(const char* station, unsigned number, CString* path) { \
    return GetPath(station, number, 0, 0, key, nullptr, path);          \
  }
#define QVE_PATH_BODY_STATION_PLAIN(member, key) \
  uint32_t member(const char* station, CString* path) { return GetPath(station, 0, 0, 0, key, nullptr, path); }
#define QVE_PATH_BODY_STATION_MESSAGE(member, key)                 \
  uint32_t member(const char* station, CString* path) {           \
    uint8_t number = 0;                                           \
    GetStnNo(station, number);                                    \
    return GetPath(station, number, 0, 0, key, nullptr, path);    \
  }
#define QVE_PATH_BODY_HIS_FILE(member, key) \
  uint32_t member(const char* station, CString* path) { return GetHISFilePath(station, key, path); }
#define QVE_PATH_BODY_STN_FOLDER(member, key) \
  uint32_t member(const char* station, CString* path) { return GetSTNFolderPath(station, key, path); }
#define QVE_PATH_BODY_STN_FILE_OR_FOLDER(member, key)                                   \
  uint32_t member(const char* station, const char* file, CString* path) {               \
    return file != nullptr ? GetSTNFilePath(station, key, file, path) : GetSTNFolderPath(station, key, path); \
  }

// Every pattern, for P(pattern).
#define QVE_PATH_PATTERNS(P)                                                                                  \
  P(TMPL_FILE) P(TMPL_FILE_REF) P(TMPL_NAMED_FILE) P(TMPL_HATCH) P(UDF_FOLDER) P(UDF_FILE) P(UDF_NAMED_FILE)  \
  P(UDF_FILE_OR_FOLDER) P(UDF_KEY_OR_FOLDER) P(UDF_NUMBERED_FILE) P(SYSTEM_FILE) P(SYSTEM_FILE_REF)           \
  P(SYSTEM_KEY_OR_FOLDER) P(SYSTEM_NUMBERED) P(SYSTEM_NUMBERED_FILE_OR_FOLDER) P(SYSTEM_NUMBER_OR_FOLDER)     \
  P(SYSTEM_NAMED_OR_FOLDER) P(FCS_FILE) P(FCS_NAMED_FILE) P(FCS_MATRIX_NUMBER) P(FCS_FILE_OR_FOLDER)          \
  P(STATION_NAMED) P(STATION_NUMBERED) P(STATION_PLAIN) P(STATION_MESSAGE) P(HIS_FILE) P(STN_FOLDER)          \
  P(STN_FILE_OR_FOLDER)

#define QVE_PATH_MEMBERS_OF(pattern) QVE_PATH_##pattern(QVE_PATH_BODY_##pattern)
// Every member of the catalogue, inside class CQVEFilePath.
#define QVE_PATH_CATALOGUE_MEMBERS QVE_PATH_PATTERNS(QVE_PATH_MEMBERS_OF)
