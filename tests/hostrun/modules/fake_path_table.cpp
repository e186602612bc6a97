// A path table module for tests, built in several variants by compile
// definitions:
//   FAKE_PTL_TAG            text that starts every answer (which build answered)
//   FAKE_PTL_NO_INITIALIZE  leave out Initialize
//   FAKE_PTL_NO_NEW         leave out GetFilePathNew (GetFilePath only)
//   FAKE_PTL_INIT_RESULT    what Initialize returns
//   FAKE_PTL_LOOKUP_RESULT  what the lookups return
// Lookups answer "<tag>|new|<folder>|<file>|<capacity>|<flags>" or
// "<tag>|old|<folder>|<file>|<capacity>", so a test sees exactly how it was
// asked. FakePtlInitArgs gives back what Initialize received.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fake_ptl_export.h"
#include "support/caller_token.h"

#define FAKE_API extern "C" FAKE_PTL_EXPORT

#ifndef FAKE_PTL_INIT_RESULT
#define FAKE_PTL_INIT_RESULT 7
#endif
#ifndef FAKE_PTL_LOOKUP_RESULT
#define FAKE_PTL_LOOKUP_RESULT 1
#endif

namespace {

std::u16string gInitArgs;

std::u16string Number(int32_t value) {
  std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

int32_t Answer(const std::u16string& text, char16_t* output, int32_t capacity) {
  if (FAKE_PTL_LOOKUP_RESULT == 0 || capacity <= 0) return FAKE_PTL_LOOKUP_RESULT;
  const size_t count = std::min(text.size(), static_cast<size_t>(capacity - 1));
  std::copy(text.begin(), text.begin() + count, output);
  output[count] = 0;
  return FAKE_PTL_LOOKUP_RESULT;
}

}  // namespace

#ifndef FAKE_PTL_NO_INITIALIZE
FAKE_API int32_t Initialize(const char16_t* dataFile, const char16_t* baseFolder,
                            const char16_t* callerToken, int32_t reserved) {
  gInitArgs = std::u16string(dataFile) + u"|" + baseFolder + u"|" +
              (ztn::VerifyCallerToken(callerToken) ? u"valid" : u"invalid") + u"|" + Number(reserved);
  return FAKE_PTL_INIT_RESULT;
}
#endif

FAKE_API int32_t GetFilePath(const char16_t* folderKey, const char16_t* fileKey, char16_t* output,
                             int32_t capacity) {
  return Answer(std::u16string(FAKE_PTL_TAG) + u"|old|" + folderKey + u"|" + fileKey + u"|" +
                    Number(capacity),
                output, capacity);
}

#ifndef FAKE_PTL_NO_NEW
FAKE_API int32_t GetFilePathNew(const char16_t* folderKey, const char16_t* fileKey,
                                char16_t* output, int32_t capacity, int32_t flags) {
  return Answer(std::u16string(FAKE_PTL_TAG) + u"|new|" + folderKey + u"|" + fileKey + u"|" +
                    Number(capacity) + u"|" + Number(flags),
                output, capacity);
}
#endif

// Copies what Initialize received ("file|folder|valid|0") into `output`;
// returns 0 when it was not called.
FAKE_API int32_t FakePtlInitArgs(char16_t* output, int32_t capacity) {
  if (gInitArgs.empty() || capacity <= 0) return 0;
  const size_t count = std::min(gInitArgs.size(), static_cast<size_t>(capacity - 1));
  std::copy(gInitArgs.begin(), gInitArgs.begin() + count, output);
  output[count] = 0;
  return 1;
}
