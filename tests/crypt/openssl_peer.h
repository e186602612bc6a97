// Runs the openssl program as an independent peer for the ciphers:
// `openssl enc` over files in a private temporary folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "hostrun/crypt/byte_array.h"
#include "platform/process.h"

namespace ztn::test {

class OpenSslPeer {
 public:
  OpenSslPeer() {
    static std::atomic<uint32_t> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("ztn_crypt_" + std::to_string(platform::GetCurrentProcessId()) + "_" +
               std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
  }
  ~OpenSslPeer() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  OpenSslPeer(const OpenSslPeer&) = delete;
  OpenSslPeer& operator=(const OpenSslPeer&) = delete;

  // True when `openssl version` runs and succeeds.
  bool Available() { return Run({"version"}); }

  // `openssl enc <args> -in IN -out OUT` with the legacy provider loaded;
  // nullopt when openssl fails.
  std::optional<ByteArray> Enc(const std::vector<std::string>& args, const ByteArray& input) {
    const auto in = folder_ / "in.bin";
    const auto out = folder_ / "out.bin";
    {
      std::ofstream file(in, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(input.data()),
                 static_cast<std::streamsize>(input.size()));
      if (!file) return std::nullopt;
    }
    std::vector<std::string> all{"enc", "-provider", "legacy", "-provider", "default"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"-in", in.string(), "-out", out.string()});
    if (!Run(all)) return std::nullopt;
    std::ifstream file(out, std::ios::binary);
    if (!file) return std::nullopt;
    return ByteArray(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  static std::string Hex(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
      text.push_back(kDigits[data[i] >> 4]);
      text.push_back(kDigits[data[i] & 15]);
    }
    return text;
  }

 private:
  bool Run(const std::vector<std::string>& args) {
    platform::SpawnOptions options;
    options.stdoutPath = (folder_ / "stdout.txt").string();
    auto process = platform::Process::Spawn("openssl", args, options);
    if (!process.ok()) return false;
    auto status = process->WaitForExit(10000);
    return status.ok() && !status->killedBySignal && status->code == 0;
  }

  std::filesystem::path folder_;
};

// Reverses the bytes inside each 4-byte group: converts between RFC 4269's
// byte order and this product's.
inline void SwapWordBytes(uint8_t* data, size_t size) {
  for (size_t g = 0; g + 4 <= size; g += 4) {
    std::swap(data[g], data[g + 3]);
    std::swap(data[g + 1], data[g + 2]);
  }
}

}  // namespace ztn::test
