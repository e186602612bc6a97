// Path table client: one process-wide binding table of fifteen rows.
//
// Row 1 (Initialize) doubles as the readiness mark together with the test
// that a module of either name is loaded. The load references this client
// takes are kept in a list and released one per stop, so the client never
// releases a reference that someone else holds.
#include "hostrun/environment/path_table.h"

#include <array>
#include <utility>
#include <vector>

#include "hostrun/environment/global_space.h"
#include "platform/module.h"
#include "platform/process.h"
#include "support/caller_token.h"
#include "support/sync_object.h"

const char* const kPathTableExportNames[kPathTableRowCount] = {
    "Initialize",       "UnInitialize",      "GetPathVariable", "GetPathVariableList",
    "GetSIDList",       "FreeList",          "GetFolderPath",   "GetFolderPath2",
    "GetFilePath",      "GetFilePath2",      "GetFolderPathNew", "GetFolderPathNew2",
    "GetFilePathNew",   "GetFilePathNew2",   "GetFileName",
};

namespace {

constexpr int kRowInitialize = 0;
constexpr int kRowGetFilePath = 8;
constexpr int kRowGetFilePathNew = 12;

struct HeldModule {
  std::u16string name;
  ztn::platform::Module module;
};

struct PathTableState {
  std::array<void*, kPathTableRowCount> rows{};
  std::vector<HeldModule> held;  // load references taken by PathTableLoad, oldest first
};

PathTableState& State() {
  static PathTableState state;
  return state;
}

// The binding lock, created on first use and destroyed at process exit.
ztn::SyncObjectEx& BindingLock() {
  static ztn::SyncObjectEx lock;
  return lock;
}

bool LoadedByName(const char16_t* name) {
  return ztn::platform::FindLoadedModule(name) != nullptr;
}

std::u16string ModuleFile(std::u16string_view folder, const char16_t* name) {
  if (folder.empty()) return name;
  std::u16string file(folder);
  file += u'\\';
  file += name;
  return file;
}

std::u16string ProgramFolder() {
  std::u16string path = ztn::platform::GetProgramPath();
  const size_t slash = path.rfind(u'\\');
  if (slash != std::u16string::npos) path.resize(slash);
  return path;
}

}  // namespace

bool PathTableReady() {
  if (!LoadedByName(kPathTableModuleName) && !LoadedByName(kPathTableModuleNameAlt)) return false;
  return State().rows[kRowInitialize] != nullptr;
}

void* PathTableBinding(int row) {
  if (row < 0 || row >= kPathTableRowCount) return nullptr;
  return State().rows[static_cast<size_t>(row)];
}

void PathTableAttach(int32_t& edition) {
  edition = kPathTableEditionZtm;
  ztn::platform::ModuleHandle handle = ztn::platform::FindLoadedModule(kPathTableModuleName);
  if (handle == nullptr) {
    handle = ztn::platform::FindLoadedModule(kPathTableModuleNameAlt);
    if (handle == nullptr) return;
    edition = kPathTableEditionKqm;
  }
  if (PathTableReady()) return;
  auto& rows = State().rows;
  for (int row = 0; row < kPathTableRowCount; ++row) {
    if (rows[row] == nullptr) rows[row] = ztn::platform::GetModuleExport(handle, kPathTableExportNames[row]);
  }
}

bool PathTableLoad(std::u16string_view folder, int32_t& edition) {
  PathTableState& state = State();
  const char16_t* loadedName = kPathTableModuleName;
  auto loaded = ztn::platform::Module::Load(ModuleFile(folder, kPathTableModuleName));
  if (!loaded.ok()) {
    loadedName = kPathTableModuleNameAlt;
    loaded = ztn::platform::Module::Load(ModuleFile(folder, kPathTableModuleNameAlt));
    if (loaded.ok()) edition = kPathTableEditionKqm;
  }

  ztn::SyncObjectEx& lock = BindingLock();
  lock.Enter();
  if (loaded.ok()) {
    for (int row = 0; row < kPathTableRowCount; ++row) {
      state.rows[row] = loaded->GetExport(kPathTableExportNames[row]);
    }
    state.held.push_back(HeldModule{loadedName, std::move(loaded).value()});
  }
  const bool ready = PathTableReady();
  lock.Leave();
  return ready;
}

int32_t PathTableStart(std::u16string_view folder, int32_t& edition) {
  std::u16string baseFolder(folder);
  if (baseFolder.empty()) {
    {
      GlobalData globalData;
      (void)globalData.GetBaseFolder(baseFolder);
    }
    if (baseFolder.empty()) baseFolder = ProgramFolder();
  }
  if (!PathTableLoad(baseFolder, edition)) return 0;

  const auto initialize = reinterpret_cast<PathTableInitializeFn>(State().rows[kRowInitialize]);
  if (initialize == nullptr) return 0;
  const std::u16string token = ztn::MakeCallerToken();
  return initialize(kPathTableDataFile, baseFolder.c_str(), token.c_str(), 0);
}

void PathTableStop(int32_t edition) {
  const char16_t* name =
      edition == kPathTableEditionKqm ? kPathTableModuleNameAlt : kPathTableModuleName;
  PathTableState& state = State();
  for (auto it = state.held.rbegin(); it != state.held.rend(); ++it) {
    if (it->name == name) {
      it->module.Free();
      state.held.erase(std::next(it).base());
      break;
    }
  }
  if (!LoadedByName(name)) state.rows.fill(nullptr);
}

bool PathTableFilePath(std::u16string_view folderKey, std::u16string_view fileKey,
                       std::u16string& path) {
  path.clear();
  if (!PathTableReady()) return false;

  // One unit more than the module is told, always NUL: a module that fills
  // the whole buffer without a terminator cannot make the copy run past it.
  std::array<char16_t, kPathBufferCapacity + 1> buffer{};
  const std::u16string folder(folderKey);
  const std::u16string file(fileKey);
  const auto& rows = State().rows;
  int32_t found = 0;
  if (const auto getNew = reinterpret_cast<PathTableGetFilePathNewFn>(rows[kRowGetFilePathNew])) {
    found = getNew(folder.c_str(), file.c_str(), buffer.data(), kPathBufferCapacity, 1);
  } else if (const auto get = reinterpret_cast<PathTableGetFilePathFn>(rows[kRowGetFilePath])) {
    found = get(folder.c_str(), file.c_str(), buffer.data(), kPathBufferCapacity);
  } else {
    return false;
  }
  if (found == 0) return false;
  buffer[kPathBufferCapacity] = 0;
  path.assign(buffer.data());
  return true;
}
