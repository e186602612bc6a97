// Loadable modules (shared libraries): load by path, bind exports, free.
//
// A Module owns one load reference, released exactly once by Free() or by the
// destructor (or by move assignment, which first frees what the target held).
// A module stays in the process while any load reference to it is held.
// FindLoadedModule returns a non-owning handle that is valid only while some
// owner keeps the module loaded.
//
// All functions are thread-safe (the system loader serialises them). Load
// blocks while the module file is read and its initialisers run.
#pragma once

#include <string_view>

#include "platform/error.h"

namespace ztn::platform {

// A module already in this process, found by its bare file name
// (for example "ptl.ztm"; compared exactly, as file names are here, after the
// trailing blanks and dots are dropped); no reference is taken. Null when no
// loaded module has that name, or when the name holds a separator. The main
// program is not found by name.
using ModuleHandle = void*;
ModuleHandle FindLoadedModule(std::u16string_view fileName);

// The address of the export `name` of a loaded module, or null when the
// handle is null or the module has no such export.
void* GetModuleExport(ModuleHandle module, const char* name);

class Module {
 public:
  Module() = default;
  Module(Module&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Module& operator=(Module&& other) noexcept;
  ~Module() { Free(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Loads the module file at `path` (system form, either separator) with its
  // dependencies bound now and its symbols kept private. The path names a
  // file: a bare name means the file in the current folder, never a search of
  // the library paths. FileNotFound when there is no such file, AccessDenied
  // when it cannot be reached, BadFormat when it is no loadable module (also
  // for a folder, device or pipe).
  static Result<Module> Load(std::u16string_view path);

  // The address of the export `name`, or null when it has none.
  void* GetExport(const char* name) const { return GetModuleExport(handle_, name); }

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
