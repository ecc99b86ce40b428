/* tarvex_names.h - the names a caller of the tarvex scan engine uses: the
 * library's file name and the six result field names.
 *
 * Compiles as C and C++, without <windows.h> and on any platform.
 */
#ifndef TARVEX_NAMES_H
#define TARVEX_NAMES_H

/* File name of the engine library of each bitness; a caller loads the one of
 * its own bitness by this bare name. */
#define TARVEX_ENGINE_FILE_NAME_X64 "tarvex64.dll"
#define TARVEX_ENGINE_FILE_NAME_X86 "tarvex.dll"
#ifdef _WIN64
#define TARVEX_ENGINE_FILE_NAME TARVEX_ENGINE_FILE_NAME_X64
#else
#define TARVEX_ENGINE_FILE_NAME TARVEX_ENGINE_FILE_NAME_X86
#endif

/* Field names for GetScanlistEntry, in field order; the names are compared
 * case-sensitively. Use as an initializer:
 *   const char* const names[TARVEX_FIELD_COUNT] = {TARVEX_FIELD_NAME_LIST}; */
#define TARVEX_FIELD_COUNT 6
#define TARVEX_FIELD_NAME_LIST \
  "ProcessName", "ProcessID", "Scantarget", "IsMalware", "Scannermessage", "ScannerErrornumber"

#ifdef __cplusplus
namespace tarvex {
inline constexpr const char* kFieldNames[TARVEX_FIELD_COUNT] = {TARVEX_FIELD_NAME_LIST};
}  // namespace tarvex
#endif

#endif /* TARVEX_NAMES_H */
