// Loadable modules (shared libraries): load by path, bind exports, free.
//
// A Module owns one load reference, released exactly once by Free() or by the
// destructor. FindLoadedModule returns a non-owning handle.
#pragma once

#include <string_view>

#include "platform/error.h"

namespace ztn::platform {

// A module already in this process, found by its bare file name
// (for example "ptl.ztm"); no reference is taken. Null when not loaded.
using ModuleHandle = void*;
ModuleHandle FindLoadedModule(std::u16string_view fileName);

class Module {
 public:
  Module() = default;
  Module(Module&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Module& operator=(Module&& other) noexcept;
  ~Module() { Free(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads the module at `path` (system form, either separator) with its
  // dependencies bound now. FileNotFound when there is no such file,
  // BadFormat when it cannot be loaded.
  static Result<Module> Load(std::u16string_view path);

  // The address of the export `name`, or null when it has none.
  void* GetExport(const char* name) const;

  template <class Fn>
  Fn GetFunction(const char* name) const { return reinterpret_cast<Fn>(GetExport(name)); }

  // Releases the load reference (once; later calls do nothing).
  void Free();

  bool IsLoaded() const { return handle_ != nullptr; }
  ModuleHandle Handle() const { return handle_; }

 private:
  explicit Module(ModuleHandle handle) : handle_(handle) {}
  ModuleHandle handle_ = nullptr;
};

}  // namespace ztn::platform
