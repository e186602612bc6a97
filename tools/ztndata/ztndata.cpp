// ztndata: the encrypting side of the data the host program reads.
//
// Encrypts and decrypts encrypted strings, writes and reads the base folder
// in the global shared space, builds skin files from KEY=text lists and
// shows skin files and published skin buffers. Messages go to standard
// error; results to standard output as UTF-8. Exit codes: 0 success, 1 the
// operation failed, 2 the command line was wrong.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "hostrun/crypt/string_crypt_tool.h"
#include "hostrun/environment/global_space.h"
#include "hostrun/environment/global_space_text.h"
#include "hostrun/environment/skin_format.h"
#include "platform/code_page.h"
#include "platform/shared_memory.h"
#include "platform/wait.h"
#include "support/memory_buffer.h"
#include "support/named_mutex.h"
#include "support/string_util.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: ztndata COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  encrypt TEXT                 print TEXT as an encrypted string (hexadecimal)\n"
    "  decrypt HEX                  print the text of an encrypted string\n"
    "  base-folder set FOLDER [--hold]\n"
    "                               store FOLDER, encrypted, in the global shared space\n"
    "                               (created when missing); with --hold keep the space\n"
    "                               open until standard input closes, since the space\n"
    "                               exists only while some process holds it\n"
    "  base-folder get              print the base folder stored in the global shared space\n"
    "  skin build SOURCE -o OUTPUT  build a skin file from a UTF-8 list of KEY=text lines\n"
    "  skin show FILE               print a skin file as KEY=text lines\n"
    "  skin dump NAME [KEY...]      print the published skin buffer NAME: every entry,\n"
    "                               or the texts of the given keys as KEY=text\n"
    "  hash KEY                     print the key hash used in skin buffers\n"
    "\n"
    "Options: --help (also after a command).\n"
    "Exit codes: 0 success, 1 the operation failed, 2 wrong command line.\n"
    "The global shared space and its mutex are found under ZTN_OBJECT_DIR when it is set.\n";

int UsageError(const std::string& message) {
  std::cerr << "ztndata: " << message << "\nTry 'ztndata --help'.\n";
  return kExitUsage;
}

int Failure(const std::string& message) {
  std::cerr << "ztndata: " << message << "\n";
  return kExitFailed;
}

// Strict conversion of a command-line argument: invalid UTF-8 is refused
// instead of turning into replacement characters.
bool ArgumentToWide(const std::string& argument, std::u16string& wide) {
  wide = ztn::platform::Utf8ToWideText(argument);
  return ztn::platform::WideToAnsiText(wide) == argument;
}

std::string ToUtf8(std::u16string_view text) { return ztn::platform::WideToAnsiText(text); }

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  bytes.clear();
  char chunk[65536];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + file.gcount());
    if (bytes.size() > kMaxSkinFileSize) {
      error = path + " is larger than " + std::to_string(kMaxSkinFileSize) + " bytes";
      return false;
    }
  }
  if (file.bad()) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

bool IsHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

int Encrypt(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("encrypt takes one TEXT");
  std::u16string text;
  if (!ArgumentToWide(args[0], text)) return UsageError("TEXT is not valid UTF-8");
  std::u16string encrypted;
  if (!ztn::StringCryptToolW().EncryptString(text, encrypted)) {
    return Failure("cannot encrypt an empty text");
  }
  std::cout << ToUtf8(encrypted) << "\n";
  return kExitOk;
}

int Decrypt(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("decrypt takes one HEX string");
  std::u16string hex;
  if (!ArgumentToWide(args[0], hex)) return UsageError("HEX is not valid UTF-8");
  std::u16string text;
  if (!ztn::StringCryptToolW().DecryptString(hex, text)) {
    return Failure("not an encrypted string (wrong length, bad digits or bad count byte)");
  }
  std::cout << ToUtf8(text) << "\n";
  return kExitOk;
}

// Holds the mutex "GlobalSpaceMutex" for the lifetime of the object, when it
// could be had within the host's own time limit.
class SpaceLock {
 public:
  SpaceLock() {
    if (mutex_.Create(kGlobalSpaceMutexName)) {
      const auto result = mutex_.Lock(kGlobalSpaceMutexWaitMs);
      owned_ = result == ztn::platform::WaitResult::Signaled ||
               result == ztn::platform::WaitResult::Abandoned;
    }
  }
  ~SpaceLock() {
    if (owned_) (void)mutex_.Unlock();
  }
  bool Owned() const { return owned_; }

 private:
  ztn::NamedMutex mutex_;
  bool owned_ = false;
};

int BaseFolderSet(const std::vector<std::string>& args) {
  bool hold = false;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "--hold") {
      hold = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return UsageError("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) return UsageError("base-folder set takes one FOLDER");
  std::u16string folder;
  if (!ArgumentToWide(positional[0], folder)) return UsageError("FOLDER is not valid UTF-8");
  std::u16string encrypted;
  if (!ztn::StringCryptToolW().EncryptString(folder, encrypted)) {
    return Failure("cannot store an empty folder");
  }
  if (encrypted.size() > kMaxBaseFolderTextUnits) {
    return Failure("folder is too long for the global shared space");
  }

  const bool existed = ztn::platform::SharedMemory::Open(kGlobalSpaceName).ok();
  ztn::MemoryBufferExW space;
  if (space.CreateNamed(kGlobalSpaceName, kGlobalSpaceSize, !existed) == 0) {
    return Failure("cannot open or create the global shared space");
  }
  {
    SpaceLock lock;
    if (!lock.Owned()) return Failure("the global shared space is locked by another process");
    if (!WriteBaseFolderText(static_cast<uint8_t*>(space.Data()), encrypted)) {
      return Failure("cannot write the base folder");
    }
  }
  if (hold) {
    std::cerr << "ztndata: holding the global shared space; close standard input to release it\n";
    std::cin.ignore(std::numeric_limits<std::streamsize>::max());
  }
  return kExitOk;
}

int BaseFolderGet(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("base-folder get takes no arguments");
  auto memory = ztn::platform::SharedMemory::Open(kGlobalSpaceName);
  if (!memory.ok()) return Failure("no global shared space: no process holds it");
  auto view = memory->Map(kGlobalSpaceSize);
  if (!view.ok()) return Failure("the global shared space is smaller than expected");

  std::u16string text;
  {
    SpaceLock lock;  // read without it after the time limit, as the host does
    text = ReadBaseFolderText(static_cast<const uint8_t*>(view->Data()));
  }
  if (text.empty()) return Failure("no base folder is stored");
  std::u16string folder;
  if (!ztn::StringCryptToolW().DecryptString(text, folder) || folder.empty()) {
    return Failure("the stored base folder does not decrypt");
  }
  std::cout << ToUtf8(folder) << "\n";
  return kExitOk;
}

int SkinBuild(const std::vector<std::string>& args) {
  std::string source;
  std::string output;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" || args[i] == "--output") {
      if (i + 1 >= args.size()) return UsageError(args[i] + " needs a file name");
      output = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return UsageError("unknown option " + args[i]);
    } else if (source.empty()) {
      source = args[i];
    } else {
      return UsageError("skin build takes one SOURCE");
    }
  }
  if (source.empty() || output.empty()) return UsageError("skin build needs SOURCE and -o OUTPUT");

  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFile(source, bytes, error)) return Failure(error);
  std::vector<SkinText> texts;
  if (!ParseSkinSource(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       texts, error)) {
    return Failure(source + ": " + error);
  }
  std::vector<uint8_t> file;
  if (!SerializeSkinFile(texts, file, error)) return Failure(error);

  // Written beside the target first, so a failure never leaves half a file.
  const std::string partial = output + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size())) ||
        !out.flush()) {
      std::remove(partial.c_str());
      return Failure("cannot write " + output);
    }
  }
  if (std::rename(partial.c_str(), output.c_str()) != 0) {
    std::remove(partial.c_str());
    return Failure("cannot write " + output);
  }
  std::cerr << "ztndata: " << output << ": " << texts.size() << " texts\n";
  return kExitOk;
}

int SkinShow(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("skin show takes one FILE");
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFile(args[0], bytes, error)) return Failure(error);
  std::vector<SkinText> texts;
  if (!ParseSkinFile(bytes.data(), bytes.size(), texts, error)) {
    return Failure(args[0] + ": " + error);
  }
  for (const SkinText& text : texts) {
    if (text.kind != kSkinTextKind) std::cout << "# kind " << text.kind << "\n";
    std::cout << ToUtf8(text.key) << "=" << ToUtf8(text.text) << "\n";
  }
  return kExitOk;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

int SkinDump(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("skin dump needs the NAME of a skin buffer");
  std::u16string name;
  if (!ArgumentToWide(args[0], name)) return UsageError("NAME is not valid UTF-8");
  auto memory = ztn::platform::SharedMemory::Open(name);
  if (!memory.ok()) return Failure("no skin buffer named " + args[0]);
  auto view = memory->Map(0);
  if (!view.ok()) return Failure("cannot map " + args[0]);

  const auto* data = static_cast<const uint8_t*>(view->Data());
  const SkinBufferView whole(data, view->Size());
  const uint64_t declared = static_cast<uint64_t>(whole.BodySize()) + 4;
  if (view->Size() < kSkinHeaderSize) return Failure("too short for a skin buffer");
  // Read only what the body size announces, as the host maps it.
  const SkinBufferView skin(data, declared < view->Size() ? declared : view->Size());

  if (args.size() > 1) {
    int result = kExitOk;
    for (size_t i = 1; i < args.size(); ++i) {
      std::u16string key;
      if (!ArgumentToWide(args[i], key)) return UsageError("KEY is not valid UTF-8");
      std::u16string text;
      if (FindSkinText(skin, ztn::HashString(key), text)) {
        std::cout << args[i] << "=" << ToUtf8(text) << "\n";
      } else {
        std::cerr << "ztndata: " << args[i] << ": no text\n";
        result = kExitFailed;
      }
    }
    return result;
  }

  std::cout << "body size " << whole.BodySize() << " (object " << view->Size() << " bytes)\n";
  if (declared > view->Size()) std::cout << "warning: the body size reaches past the object\n";
  std::cout << "entries " << skin.DeclaredCount() << " declared, " << skin.UsableEntries()
            << " inside the buffer\n";
  for (size_t i = 0; i < skin.UsableEntries(); ++i) {
    SkinEntry entry;
    if (!skin.Entry(i, entry)) break;
    std::cout << "[" << i << "] kind " << entry.kind << " hash " << Hex(entry.hash) << " record "
              << entry.recordOffset << ": ";
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    if (!skin.Record(entry.recordOffset, bytes, length)) {
      std::cout << "(record outside the buffer)\n";
    } else if (length == 0) {
      std::cout << "(empty record)\n";
    } else {
      std::cout << ToUtf8(DecryptSkinRecord(bytes, length)) << "\n";
    }
  }
  return kExitOk;
}

int Hash(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("hash takes one KEY");
  std::u16string key;
  if (!ArgumentToWide(args[0], key)) return UsageError("KEY is not valid UTF-8");
  std::cout << ztn::HashString(key) << "\n";
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  for (const std::string& arg : args) {
    if (IsHelp(arg)) {
      std::cout << kUsage;
      return kExitOk;
    }
  }
  const std::string command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (command == "encrypt") return Encrypt(rest);
  if (command == "decrypt") return Decrypt(rest);
  if (command == "hash") return Hash(rest);
  if (command == "base-folder" || command == "skin") {
    if (rest.empty()) return UsageError(command + " needs a subcommand");
    const std::string sub = rest[0];
    std::vector<std::string> subArgs(rest.begin() + 1, rest.end());
    if (command == "base-folder" && sub == "set") return BaseFolderSet(subArgs);
    if (command == "base-folder" && sub == "get") return BaseFolderGet(subArgs);
    if (command == "skin" && sub == "build") return SkinBuild(subArgs);
    if (command == "skin" && sub == "show") return SkinShow(subArgs);
    if (command == "skin" && sub == "dump") return SkinDump(subArgs);
    return UsageError("unknown subcommand " + command + " " + sub);
  }
  return UsageError("unknown command " + command);
}
