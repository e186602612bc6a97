// Example path table module ("ptl.ztm"): answers folder and file paths by
// key from the data file "ptl.dat" in the base folder.
//
// Data file: UTF-8 text, one entry per line; blank lines and lines starting
// with '#' are skipped.
//   set NAME = value                     a path variable, used as %NAME%
//   folder FOLDER_KEY = path             a folder
//   file FOLDER_KEY FILE_KEY = path      a file of that folder
// %BASE% is the base folder handed to Initialize and cannot be redefined.
// Keys and variable names are letters, digits and '_'. Paths are written
// with '\' ('/' is read as '\'). A file path that is not absolute (does not
// start with '\' or a drive such as "C:") is joined to its folder's path. A
// folder must be declared before its files; a variable before its use.
//
// Exports (plain C; UTF-16 strings; results nonzero for success). Every
// lookup copies the NUL-terminated answer into `output` only when it fits in
// `capacity` units, and otherwise returns 0 with an empty output.
//   Initialize(dataFile, baseFolder, callerToken, reserved)
//       checks the caller token, reads baseFolder\dataFile; 0 on a rejected
//       token, an unreadable file or an error in it (the table stays empty).
//   UnInitialize()                                    empties the table
//   GetPathVariable(name, output, capacity)
//   GetPathVariableList(list*) / GetSIDList(list*)    allocate a list of
//       NUL-terminated "NAME=value" texts ending with an empty one; return the
//       count. This table keeps no per-user entries: the SID list is empty.
//   FreeList(list)                                    frees such a list
//   GetFolderPath(folderKey, output, capacity)
//   GetFilePath(folderKey, fileKey, output, capacity)
//   GetFolderPathNew(folderKey, output, capacity, flags)
//   GetFilePathNew(folderKey, fileKey, output, capacity, flags)
//       flags bit 0 set: the full path with variables expanded (what the
//       other lookups answer); clear: the path as written in the data file.
//   GetFolderPath2, GetFilePath2, GetFolderPathNew2, GetFilePathNew2
//       the per-user forms: the same with a leading user SID; a null or empty
//       SID asks the machine table, any other SID finds nothing.
//   GetFileName(folderKey, fileKey, output, capacity)  the last component
// All exports may be called from any thread; one lock guards the table.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"
#include "support/caller_token.h"
#include "support/string_util.h"

#include "ptl_export.h"

#define PTL_API extern "C" PTL_EXPORT

namespace {

struct PathEntry {
  std::u16string written;   // as in the data file ('/' read as '\')
  std::u16string resolved;  // variables expanded, joined to its folder
};

struct PathTable {
  std::map<std::u16string, std::u16string> variables;
  std::map<std::u16string, PathEntry> folders;
  std::map<std::pair<std::u16string, std::u16string>, PathEntry> files;
};

std::mutex gLock;
PathTable gTable;

bool IsKey(std::u16string_view text) {
  if (text.empty()) return false;
  return std::all_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           c == u'_';
  });
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t' || text.back() == u'\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool IsAbsolute(std::u16string_view path) {
  return (!path.empty() && path[0] == u'\\') || (path.size() >= 2 && path[1] == u':');
}

// Expands %NAME% with the table's variables; false on an unknown name or a
// lone '%'.
bool Expand(const PathTable& table, std::u16string_view text, std::u16string& out) {
  out.clear();
  while (!text.empty()) {
    const size_t open = text.find(u'%');
    out.append(text.substr(0, open));
    if (open == std::u16string_view::npos) break;
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) return false;
    const auto it = table.variables.find(std::u16string(text.substr(open + 1, close - open - 1)));
    if (it == table.variables.end()) return false;
    out += it->second;
    text.remove_prefix(close + 1);
  }
  return true;
}

// Splits "words = value" into its words and value.
bool SplitLine(std::u16string_view line, std::vector<std::u16string_view>& words,
               std::u16string_view& value) {
  const size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return false;
  value = Trim(line.substr(equals + 1));
  std::u16string_view head = line.substr(0, equals);
  words.clear();
  while (true) {
    head = Trim(head);
    if (head.empty()) break;
    const size_t space = head.find_first_of(u" \t");
    words.push_back(head.substr(0, space));
    if (space == std::u16string_view::npos) break;
    head.remove_prefix(space);
  }
  return !value.empty();
}

bool ParseDataFile(std::u16string_view text, const std::u16string& baseFolder, PathTable& table) {
  table = PathTable();
  table.variables[u"BASE"] = baseFolder;
  std::vector<std::u16string_view> words;
  while (!text.empty()) {
    const size_t end = text.find(u'\n');
    std::u16string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == u'#') continue;

    std::u16string_view value;
    if (!SplitLine(line, words, value) || words.empty()) return false;
    std::u16string written(value);
    std::replace(written.begin(), written.end(), u'/', u'\\');
    std::u16string resolved;
    if (!Expand(table, written, resolved)) return false;

    if (words[0] == u"set" && words.size() == 2 && IsKey(words[1])) {
      const std::u16string name(words[1]);
      if (name == u"BASE" || table.variables.count(name) != 0) return false;
      table.variables[name] = resolved;
    } else if (words[0] == u"folder" && words.size() == 2 && IsKey(words[1])) {
      if (!table.folders.emplace(std::u16string(words[1]), PathEntry{written, resolved}).second) {
        return false;
      }
    } else if (words[0] == u"file" && words.size() == 3 && IsKey(words[1]) && IsKey(words[2])) {
      const auto folder = table.folders.find(std::u16string(words[1]));
      if (folder == table.folders.end()) return false;
      if (!IsAbsolute(resolved)) {
        std::u16string joined = folder->second.resolved;
        if (!joined.empty() && joined.back() != u'\\') joined += u'\\';
        resolved = joined + resolved;
      }
      const auto key = std::make_pair(std::u16string(words[1]), std::u16string(words[2]));
      if (!table.files.emplace(key, PathEntry{written, resolved}).second) return false;
    } else {
      return false;
    }
  }
  return true;
}

int32_t CopyOut(std::u16string_view value, char16_t* output, int32_t capacity) {
  if (output == nullptr || capacity <= 0) return 0;
  if (value.size() + 1 > static_cast<size_t>(capacity)) {
    output[0] = 0;
    return 0;
  }
  std::copy(value.begin(), value.end(), output);
  output[value.size()] = 0;
  return 1;
}

int32_t Fail(char16_t* output, int32_t capacity) {
  if (output != nullptr && capacity > 0) output[0] = 0;
  return 0;
}

bool MachineSid(const char16_t* sid) { return sid == nullptr || sid[0] == 0; }

int32_t FolderLookup(const char16_t* folderKey, char16_t* output, int32_t capacity, bool full) {
  if (folderKey == nullptr) return Fail(output, capacity);
  std::lock_guard<std::mutex> guard(gLock);
  const auto it = gTable.folders.find(folderKey);
  if (it == gTable.folders.end()) return Fail(output, capacity);
  return CopyOut(full ? it->second.resolved : it->second.written, output, capacity);
}

int32_t FileLookup(const char16_t* folderKey, const char16_t* fileKey, char16_t* output,
                   int32_t capacity, bool full) {
  if (folderKey == nullptr || fileKey == nullptr) return Fail(output, capacity);
  std::lock_guard<std::mutex> guard(gLock);
  const auto it = gTable.files.find(std::make_pair(std::u16string(folderKey), std::u16string(fileKey)));
  if (it == gTable.files.end()) return Fail(output, capacity);
  return CopyOut(full ? it->second.resolved : it->second.written, output, capacity);
}

// A list of NUL-terminated texts ending with an empty one, allocated here
// and freed by FreeList.
char16_t* MakeList(const std::vector<std::u16string>& items) {
  size_t units = 1;
  for (const auto& item : items) units += item.size() + 1;
  auto* list = new char16_t[units];
  char16_t* at = list;
  for (const auto& item : items) {
    at = std::copy(item.begin(), item.end(), at);
    *at++ = 0;
  }
  *at = 0;
  return list;
}

}  // namespace

PTL_API int32_t Initialize(const char16_t* dataFile, const char16_t* baseFolder,
                              const char16_t* callerToken, int32_t /*reserved*/) {
  std::lock_guard<std::mutex> guard(gLock);
  gTable = PathTable();
  if (!ztn::VerifyCallerToken(callerToken) || dataFile == nullptr || baseFolder == nullptr) {
    return 0;
  }
  std::u16string path(baseFolder);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  path += dataFile;
  std::ifstream file(ztn::platform::ToNativePath(path), std::ios::binary);
  if (!file) return 0;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.erase(0, 3);
  std::u16string text;
  ztn::Utf8ToWide(text, bytes);
  PathTable table;
  if (!ParseDataFile(text, baseFolder, table)) return 0;
  gTable = std::move(table);
  return 1;
}

PTL_API int32_t UnInitialize() {
  std::lock_guard<std::mutex> guard(gLock);
  gTable = PathTable();
  return 1;
}

PTL_API int32_t GetPathVariable(const char16_t* name, char16_t* output, int32_t capacity) {
  if (name == nullptr) return Fail(output, capacity);
  std::lock_guard<std::mutex> guard(gLock);
  const auto it = gTable.variables.find(name);
  if (it == gTable.variables.end()) return Fail(output, capacity);
  return CopyOut(it->second, output, capacity);
}

PTL_API int32_t GetPathVariableList(char16_t** list) {
  if (list == nullptr) return 0;
  std::vector<std::u16string> items;
  {
    std::lock_guard<std::mutex> guard(gLock);
    for (const auto& [name, value] : gTable.variables) items.push_back(name + u"=" + value);
  }
  *list = MakeList(items);
  return static_cast<int32_t>(items.size());
}

PTL_API int32_t GetSIDList(char16_t** list) {
  if (list == nullptr) return 0;
  *list = MakeList({});
  return 0;
}

PTL_API int32_t FreeList(char16_t* list) {
  if (list == nullptr) return 0;
  delete[] list;
  return 1;
}

PTL_API int32_t GetFolderPath(const char16_t* folderKey, char16_t* output, int32_t capacity) {
  return FolderLookup(folderKey, output, capacity, true);
}

PTL_API int32_t GetFolderPath2(const char16_t* sid, const char16_t* folderKey, char16_t* output,
                                  int32_t capacity) {
  if (!MachineSid(sid)) return Fail(output, capacity);
  return FolderLookup(folderKey, output, capacity, true);
}

PTL_API int32_t GetFilePath(const char16_t* folderKey, const char16_t* fileKey,
                               char16_t* output, int32_t capacity) {
  return FileLookup(folderKey, fileKey, output, capacity, true);
}

PTL_API int32_t GetFilePath2(const char16_t* sid, const char16_t* folderKey,
                                const char16_t* fileKey, char16_t* output, int32_t capacity) {
  if (!MachineSid(sid)) return Fail(output, capacity);
  return FileLookup(folderKey, fileKey, output, capacity, true);
}

PTL_API int32_t GetFolderPathNew(const char16_t* folderKey, char16_t* output, int32_t capacity,
                                    int32_t flags) {
  return FolderLookup(folderKey, output, capacity, (flags & 1) != 0);
}

PTL_API int32_t GetFolderPathNew2(const char16_t* sid, const char16_t* folderKey,
                                     char16_t* output, int32_t capacity, int32_t flags) {
  if (!MachineSid(sid)) return Fail(output, capacity);
  return FolderLookup(folderKey, output, capacity, (flags & 1) != 0);
}

PTL_API int32_t GetFilePathNew(const char16_t* folderKey, const char16_t* fileKey,
                                  char16_t* output, int32_t capacity, int32_t flags) {
  return FileLookup(folderKey, fileKey, output, capacity, (flags & 1) != 0);
}

PTL_API int32_t GetFilePathNew2(const char16_t* sid, const char16_t* folderKey,
                                   const char16_t* fileKey, char16_t* output, int32_t capacity,
                                   int32_t flags) {
  if (!MachineSid(sid)) return Fail(output, capacity);
  return FileLookup(folderKey, fileKey, output, capacity, (flags & 1) != 0);
}

PTL_API int32_t GetFileName(const char16_t* folderKey, const char16_t* fileKey,
                               char16_t* output, int32_t capacity) {
  if (folderKey == nullptr || fileKey == nullptr) return Fail(output, capacity);
  std::lock_guard<std::mutex> guard(gLock);
  const auto it = gTable.files.find(std::make_pair(std::u16string(folderKey), std::u16string(fileKey)));
  if (it == gTable.files.end()) return Fail(output, capacity);
  const std::u16string& path = it->second.resolved;
  const size_t slash = path.rfind(u'\\');
  return CopyOut(slash == std::u16string::npos ? path : path.substr(slash + 1), output, capacity);
}
