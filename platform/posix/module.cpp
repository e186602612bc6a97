// POSIX backend: may use POSIX and Linux names.
// Modules through the dynamic loader (dlopen/dlsym/dlclose).
//
// FindLoadedModule walks the loaded objects with dl_iterate_phdr, then asks the
// loader for the handle of the match with RTLD_NOLOAD (which loads nothing but
// adds a reference) and drops that reference again at once: the handle stays
// valid for as long as the module's owners keep it loaded, as a non-owning
// module handle does on the original platform.
#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/path.h"
#include "platform/posix/syscall.h"

namespace ztn::platform {
namespace {

std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

struct FindRequest {
  std::string_view fileName;
  std::string loadedName;  // the loader's name of the first match
};

int MatchLoadedObject(struct dl_phdr_info* info, size_t, void* data) {
  auto* request = static_cast<FindRequest*>(data);
  if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;  // main program
  if (LastComponent(info->dlpi_name) != request->fileName) return 0;
  request->loadedName = info->dlpi_name;
  return 1;
}

}  // namespace

ModuleHandle FindLoadedModule(std::u16string_view fileName) {
  const std::string native = ToNativePath(fileName);
  if (native.empty() || native.find('/') != std::string::npos) return nullptr;
  FindRequest request{native, {}};
  // The loader is not re-entered from the callback: dlopen runs after the walk.
  if (dl_iterate_phdr(&MatchLoadedObject, &request) == 0) return nullptr;
  void* handle = ::dlopen(request.loadedName.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) ::dlclose(handle);  // keep no reference
  return handle;
}

void* GetModuleExport(ModuleHandle module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return ::dlsym(module, name);
}

Result<Module> Module::Load(std::u16string_view path) {
  std::string native = ToNativePath(path);
  if (native.empty()) return Error{ErrorCode::FileNotFound, ENOENT};
  // A name without a folder would make the loader search its library paths;
  // the module to load is the file the caller named.
  if (native.find('/') == std::string::npos) native.insert(0, "./");

  struct stat st{};
  if (posix::RetryOnInterrupt([&] { return ::stat(native.c_str(), &st); }) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return Error{ErrorCode::FileNotFound, error};
    return MakeNativeError(error);
  }
  // Opening a pipe or device could block for ever; a folder is no module.
  if (!S_ISREG(st.st_mode)) return Error{ErrorCode::BadFormat, 0};

  void* handle = ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    (void)::dlerror();  // clear the loader's message; the code says it all
    return Error{ErrorCode::BadFormat, 0};
  }
  return Module(handle);
}

Module& Module::operator=(Module&& other) noexcept {
  if (this != &other) {
    Free();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

void Module::Free() {
  if (handle_ == nullptr) return;
  ::dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace ztn::platform
