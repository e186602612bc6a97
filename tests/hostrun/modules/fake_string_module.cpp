// A string module for tests, built in several variants by compile
// definitions:
//   FAKE_STR_NO_INITIALIZE   leave out Initialize_V2
//   FAKE_STR_NO_GET_NAME     leave out GetSkinBufferName
//   FAKE_STR_NO_LOCK         leave out Lock and Unlock
//   FAKE_STR_INIT_RESULT     what Initialize_V2 returns
//   FAKE_STR_NAME_RESULT     what GetSkinBufferName returns
//   FAKE_STR_EMPTY_NAME      GetSkinBufferName leaves the name empty
// GetSkinBufferName hands out the name in $ZTN_TEST_SKIN_BUFFER (a buffer the
// test made). Every call is appended as a line to the file named by
// $ZTN_TEST_MODULE_LOG: "Lock", "Unlock", "GetSkinBufferName",
// "Initialize_V2 <valid|invalid> <skin file path>".
#include <cstdint>
#include <fstream>
#include <string>

#include "fake_str_export.h"
#include "platform/code_page.h"
#include "platform/process.h"
#include "support/caller_token.h"

#define FAKE_API extern "C" FAKE_STR_EXPORT

#ifndef FAKE_STR_INIT_RESULT
#define FAKE_STR_INIT_RESULT 1
#endif
#ifndef FAKE_STR_NAME_RESULT
#define FAKE_STR_NAME_RESULT 1
#endif

namespace {

void Log(const std::string& line) {
  const auto path = ztn::platform::GetEnvVar("ZTN_TEST_MODULE_LOG");
  if (!path || path->empty()) return;
  std::ofstream log(*path, std::ios::app);
  log << line << "\n";
}

}  // namespace

#ifndef FAKE_STR_NO_INITIALIZE
FAKE_API int32_t Initialize_V2(const char16_t* callerToken, const char16_t* skinFilePath) {
  Log(std::string("Initialize_V2 ") + (ztn::VerifyCallerToken(callerToken) ? "valid" : "invalid") +
      " " + ztn::platform::WideToAnsiText(skinFilePath));
  return FAKE_STR_INIT_RESULT;
}
#endif

#ifndef FAKE_STR_NO_GET_NAME
FAKE_API int32_t GetSkinBufferName(char16_t* output) {
  Log("GetSkinBufferName");
#ifndef FAKE_STR_EMPTY_NAME
  const auto name = ztn::platform::GetEnvVar("ZTN_TEST_SKIN_BUFFER");
  const std::u16string wide = ztn::platform::AnsiToWideText(name ? *name : std::string());
  // The caller's buffer holds 260 units; a name that long or longer is cut
  // there without a terminator, to see that the caller copes.
  for (size_t i = 0; i < wide.size() && i < 260; ++i) output[i] = wide[i];
  if (wide.size() < 260) output[wide.size()] = 0;
#else
  (void)output;
#endif
  return FAKE_STR_NAME_RESULT;
}
#endif

#ifndef FAKE_STR_NO_LOCK
FAKE_API int32_t Lock() {
  Log("Lock");
  return 1;
}

FAKE_API int32_t Unlock() {
  Log("Unlock");
  return 1;
}
#endif
