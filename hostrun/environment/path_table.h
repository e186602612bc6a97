// Client of the product's path table module.
//
// The path table module (an outside library, "ptl.ztm" or, in the other
// edition, "ptl.kqm") maps a folder key and a file key to a full path. This
// client loads it from the base folder, binds its fifteen exports into one
// process-wide table, starts it with a caller token and asks it for paths.
//
// Lifetime: the bindings live from the first attach or load until the module
// has left the process after PathTableStop. The client holds the load
// references it takes itself and releases one per stop.
// Threads: the binding step of PathTableLoad runs under a process-wide lock;
// everything else reads and writes the table unlocked and is meant for one
// thread (the host's main thread). Nothing here blocks except module loading.
// Results are the only signal: nothing is shown or logged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hostrun/environment/path_table_exports.h"

// The edition flag kept by the caller: 0 = "ptl.ztm", 1 = "ptl.kqm".
inline constexpr int32_t kPathTableEditionZtm = 0;
inline constexpr int32_t kPathTableEditionKqm = 1;

// The export names of the binding table, in row order.
inline constexpr int kPathTableRowCount = 15;
extern const char* const kPathTableExportNames[kPathTableRowCount];

// Binds the exports when a path table module is already loaded in this
// process. Sets `edition` to 0, or to 1 when only "ptl.kqm" is loaded.
// Leaves the bindings alone when the path table is ready; otherwise binds the
// rows that are still null. Takes no lock and no load reference.
void PathTableAttach(int32_t& edition);

// Loads the module from `folder` (folder + "\ptl.ztm", then "\ptl.kqm"; the
// bare names in the current folder when `folder` is empty) and binds all
// rows from it, overwriting every row; an export the library lacks leaves its
// row null. Sets `edition` to 1 when "ptl.kqm" was loaded. Returns whether
// the path table is ready afterwards.
bool PathTableLoad(std::u16string_view folder, int32_t& edition);

// Settles the base folder (the given one; else the global shared space's;
// else the program's own folder), loads the module from it and calls its
// Initialize ("ptl.dat", base folder, a fresh caller token, 0). Returns
// Initialize's result, or 0 when the module is not ready.
int32_t PathTableStart(std::u16string_view folder, int32_t& edition);

// Releases one load reference of the edition's module that this client
// holds, and clears every row once the module has left the process.
void PathTableStop(int32_t edition);

// Asks the module for the path of (folderKey, fileKey). Returns true and the
// path, or false and an empty `path`.
bool PathTableFilePath(std::u16string_view folderKey, std::u16string_view fileKey,
                       std::u16string& path);

// True when a module named "ptl.ztm" or "ptl.kqm" is loaded and its
// Initialize is bound.
bool PathTableReady();

// The entry point bound in `row` (0-based), or null. For tests and tools.
void* PathTableBinding(int row);
