#include "tests/common/scoped_object_dir.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "platform/process.h"

namespace ztn::test {

ScopedObjectDir::ScopedObjectDir() {
  static std::atomic<uint32_t> counter{0};
  namespace fs = std::filesystem;
  fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  path_ = (base / ("ztn-test-" + std::to_string(platform::GetCurrentProcessId()) + "-" +
                   std::to_string(counter.fetch_add(1))))
              .string();
  std::error_code ec;
  fs::remove_all(path_, ec);
  fs::create_directories(path_);
  previous_ = platform::GetEnvVar("ZTN_OBJECT_DIR");
  platform::SetEnvVar("ZTN_OBJECT_DIR", path_);
}

ScopedObjectDir::~ScopedObjectDir() {
  if (previous_) {
    platform::SetEnvVar("ZTN_OBJECT_DIR", *previous_);
  } else {
    platform::UnsetEnvVar("ZTN_OBJECT_DIR");
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace ztn::test
