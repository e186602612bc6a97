// A private object root folder for one test: sets ZTN_OBJECT_DIR for this
// process (and so for the children it starts) and removes the folder and
// restores the variable when destroyed.
#pragma once

#include <optional>
#include <string>

namespace ztn::test {

class ScopedObjectDir {
 public:
  ScopedObjectDir();
  ~ScopedObjectDir();
  ScopedObjectDir(const ScopedObjectDir&) = delete;
  ScopedObjectDir& operator=(const ScopedObjectDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::optional<std::string> previous_;
};

}  // namespace ztn::test
