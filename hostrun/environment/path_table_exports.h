// The path table module's export contract, shared by the client and the
// modules that implement it.
//
// A path table module is a shared library named "ptl.ztm" or "ptl.kqm" that
// exports plain C functions under these names. Strings are NUL-terminated
// UTF-16; results are 32-bit integers, nonzero for success. The client binds
// all fifteen names but calls only Initialize, GetFilePathNew and GetFilePath.
#pragma once

#include <cstdint>

inline constexpr char16_t kPathTableModuleName[] = u"ptl.ztm";
inline constexpr char16_t kPathTableModuleNameAlt[] = u"ptl.kqm";
inline constexpr char16_t kPathTableDataFile[] = u"ptl.dat";
// Capacity, in UTF-16 units, of every path buffer the client hands over.
inline constexpr int32_t kPathBufferCapacity = 512;

extern "C" {
// (data file name, base folder, caller token, 0): nonzero when started.
using PathTableInitializeFn = int32_t (*)(const char16_t* dataFile, const char16_t* baseFolder,
                                          const char16_t* callerToken, int32_t reserved);
// (folder key, file key, output, capacity in units, 1): nonzero when the
// output holds the NUL-terminated full path.
using PathTableGetFilePathNewFn = int32_t (*)(const char16_t* folderKey, const char16_t* fileKey,
                                              char16_t* output, int32_t capacity, int32_t flags);
// (folder key, file key, output, capacity in units): as GetFilePathNew.
using PathTableGetFilePathFn = int32_t (*)(const char16_t* folderKey, const char16_t* fileKey,
                                           char16_t* output, int32_t capacity);
}
