// The global shared space: machine-wide facts that the product's components
// keep in named shared memory, guarded by a named mutex.
//
// Layout of "Global\GlobalSpaceShareMemV2" (7828 bytes, little-endian), as
// far as this program reads it:
//   0   8      owned by other components
//   8   rest   base folder: a NUL-terminated UTF-16LE encrypted string
//              (StringCryptToolW) whose plain text is the folder in UTF-8;
//              empty when no folder is stored
// The mutex "GlobalSpaceMutex" carries no namespace prefix, so it lives in
// the caller's session namespace.
//
// Lifetime: the space is opened (or created, zero-filled) once per process,
// during static start-up, and stays mapped until the process ends; it exists
// while any process holds it. A GlobalData object lives as long as its user
// needs it and caches the base folder it read.
// Threads: the process-wide state is set during start-up or on the main
// thread and takes no lock of its own; across processes the text is read
// under the mutex, waited for at most 3000 ms.
#pragma once

#include <cstdint>
#include <string>

inline constexpr char16_t kGlobalSpaceName[] = u"Global\\GlobalSpaceShareMemV2";
inline constexpr char16_t kGlobalSpaceMutexName[] = u"GlobalSpaceMutex";
inline constexpr uint32_t kGlobalSpaceSize = 7828;
inline constexpr uint32_t kBaseFolderOffset = 8;
inline constexpr int32_t kGlobalSpaceMutexWaitMs = 3000;

// Results of the global space operations, with the original values.
inline constexpr int32_t kGlobalSpaceOk = 0;                                   // S_OK
inline constexpr int32_t kGlobalSpaceFail = static_cast<int32_t>(0x80004005u);  // E_FAIL

// Opens the space (creating it, 7828 zero bytes, when no process holds it)
// and the mutex. Returns kGlobalSpaceOk when the space is open, else
// kGlobalSpaceFail. Does nothing once it has succeeded; safe to call again
// after a failure.
int32_t OpenGlobalSpace();

// Creates (or opens) the mutex "GlobalSpaceMutex" unless this process
// already tried. Returns false only when no attempt was made; a failed
// creation counts as success and the space is then used without the mutex.
bool CreateGlobalSpaceMutex();

// True once OpenGlobalSpace has succeeded in this process.
bool IsGlobalSpaceOpen();

class GlobalData {
 public:
  // Opens the space when it is not open yet.
  GlobalData();
  virtual ~GlobalData() = default;
  GlobalData(const GlobalData&) = delete;
  GlobalData& operator=(const GlobalData&) = delete;

  // Reads and decrypts the base folder. Returns kGlobalSpaceOk and the text
  // (empty when none is stored or it does not decrypt), or kGlobalSpaceFail
  // with `folder` untouched when the space is not open. A non-empty text is
  // cached and served from the cache afterwards; an empty one is read again
  // at the next call. Blocks up to 3000 ms for the mutex; when that passes
  // the text is read without it.
  int32_t GetBaseFolder(std::u16string& folder);

 private:
  std::u16string baseFolderCache_;
};
