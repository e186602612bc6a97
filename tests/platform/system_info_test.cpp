// System facts: locale -> language id, session and machine-id texts, the
// clock, and random UUIDs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "platform/process.h"
#include "platform/system_info.h"
#include "tests/common/multiprocess.h"

namespace ztn::platform {
namespace {

TEST(SystemInfoTest, LanguageFromLocaleName) {
  const struct {
    const char* locale;
    uint16_t expected;
  } cases[] = {
      {"ko_KR.UTF-8", kLanguageKorean}, {"ko_KR", kLanguageKorean},
      {"ko", kLanguageKorean},          {"ko.UTF-8", kLanguageKorean},
      {"ko@euro", kLanguageKorean},     {"KO_KR", kLanguageKorean},
      {"ja_JP.eucJP", kLanguageJapanese}, {"ja", kLanguageJapanese},
      {"en_US.UTF-8", kLanguageEnglishUs}, {"de_DE", kLanguageEnglishUs},
      {"C", kLanguageEnglishUs},        {"C.UTF-8", kLanguageEnglishUs},
      {"POSIX", kLanguageEnglishUs},    {"", kLanguageEnglishUs},
      {"kok_IN", kLanguageEnglishUs},   // Konkani, not Korean
      {"jv_ID", kLanguageEnglishUs},    {"jam", kLanguageEnglishUs},
      {"k", kLanguageEnglishUs},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LanguageIdFromLocaleName(c.locale), c.expected) << c.locale;
  }
}

// Sets the locale variables for one case and puts the old values back.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) saved_[i] = GetEnvVar(kNames[i]);
  }
  ~LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) Set(i, saved_[i]);
  }
  void Set(int i, const std::optional<std::string>& value) {
    if (value) {
      SetEnvVar(kNames[i], *value);
    } else {
      UnsetEnvVar(kNames[i]);
    }
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};

 private:
  std::optional<std::string> saved_[3];
};

TEST(SystemInfoTest, LanguageFromEnvironmentInOrder) {
  const std::optional<std::string> unset;
  const struct {
    std::optional<std::string> lcAll, lcMessages, lang;
    uint16_t expected;
  } cases[] = {
      {unset, unset, unset, kLanguageEnglishUs},
      {unset, unset, "ko_KR.UTF-8", kLanguageKorean},
      {unset, unset, "ja_JP.UTF-8", kLanguageJapanese},
      {unset, "ja_JP.UTF-8", "ko_KR.UTF-8", kLanguageJapanese},
      {"ko_KR.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8", kLanguageKorean},
      {"C", "ja_JP.UTF-8", "ko_KR.UTF-8", kLanguageEnglishUs},
      {"", "", "ko", kLanguageKorean},  // empty counts as unset
      {"", "ja", "", kLanguageJapanese},
  };
  LocaleEnvironment environment;
  for (const auto& c : cases) {
    environment.Set(0, c.lcAll);
    environment.Set(1, c.lcMessages);
    environment.Set(2, c.lang);
    EXPECT_EQ(GetSystemDefaultLanguageId(), c.expected) << "case " << (&c - cases);
  }
}

TEST(SystemInfoTest, SessionIdText) {
  const struct {
    const char* text;
    std::optional<uint32_t> expected;
  } cases[] = {
      {"1", 1u},           {"1\n", 1u},          {"0", 0u},
      {"7\r\n", 7u},       {"4294967294", 4294967294u},
      {"4294967295", 0u},  {"4294967295\n", 0u},  // unset: no login session
      {"", std::nullopt},  {"\n", std::nullopt},  {"4294967296", std::nullopt},
      {"-1", std::nullopt}, {"12a", std::nullopt}, {" 1", std::nullopt},
      {"1 \n", std::nullopt}, {"99999999999", std::nullopt},
  };
  for (const auto& c : cases) {
    auto id = ParseSessionIdText(c.text);
    ASSERT_EQ(id.ok(), c.expected.has_value()) << '"' << c.text << '"';
    if (c.expected) {
      EXPECT_EQ(id.value(), *c.expected) << '"' << c.text << '"';
    }
  }
}

// The session belongs to the login, so a child process reports the same one.
ZTN_CHILD(ReportSession) {
  auto id = GetProcessSessionId();
  if (args.size() != 1) return 10;
  if (!id.ok()) return args[0] == "none" ? 0 : 11;
  return std::to_string(id.value()) == args[0] ? 0 : 12;
}

TEST(SystemInfoTest, SessionIdIsSharedWithChildren) {
  auto id = GetProcessSessionId();
  std::error_code error;
  EXPECT_EQ(id.ok(), std::filesystem::exists("/proc/self/sessionid", error));
  auto child = test::SpawnChild("ReportSession", {id.ok() ? std::to_string(id.value()) : "none"});
  EXPECT_EQ(test::WaitChild(child), 0);
}

TEST(SystemInfoTest, MachineIdText) {
  const std::string id = "3d1219c7c4c5404aaa1f6d2a48adfda4";
  const struct {
    std::string text;
    std::optional<std::string> expected;
  } cases[] = {
      {id + "\n", id},
      {id, id},
      {id + "\r\n", id},
      {"3D1219C7C4C5404AAA1F6D2A48ADFDA4\n", "3D1219C7C4C5404AAA1F6D2A48ADFDA4"},  // as stored
      {"", std::nullopt},
      {"\n", std::nullopt},
      {"uninitialized\n", std::nullopt},
      {id.substr(1) + "\n", std::nullopt},
      {id + "0\n", std::nullopt},
      {id.substr(1) + "g\n", std::nullopt},
      {" " + id.substr(1), std::nullopt},
      {id + "\n" + id + "\n", std::nullopt},
  };
  for (const auto& c : cases) {
    auto parsed = ParseMachineIdText(c.text);
    ASSERT_EQ(parsed.ok(), c.expected.has_value()) << '"' << c.text << '"';
    if (c.expected) {
      EXPECT_EQ(parsed.value(), *c.expected);
    }
  }
}

TEST(SystemInfoTest, MachineIdOfThisMachine) {
  std::ifstream file("/etc/machine-id", std::ios::binary);
  const std::string stored((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto id = ReadMachineIdText();
  const bool wellFormed = stored.size() >= 32 && ParseMachineIdText(stored).ok();
  ASSERT_EQ(id.ok(), wellFormed);
  if (wellFormed) {
    EXPECT_EQ(id.value(), stored.substr(0, 32));
  }
}

TEST(SystemInfoTest, VersionIsNtSixTwo) {
  auto version = GetVersionInfo();
  ASSERT_TRUE(version.ok());
  EXPECT_EQ(version->platformId, kPlatformNt);
  EXPECT_EQ(version->majorVersion, 6u);
  EXPECT_EQ(version->minorVersion, 2u);
}

TEST(SystemInfoTest, SleepLastsAtLeastItsTime) {
  const uint32_t start = GetTickCount();
  Sleep(0);
  Sleep(30);
  const uint32_t elapsed = GetTickCount() - start;  // wraps correctly
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 10000u);
}

TEST(SystemInfoTest, UuidBitsFromKnownBytes) {
  const uint8_t counting[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  const Uuid a = UuidFromRandomBytes(counting);
  EXPECT_EQ(a.data1, 0x00010203u);
  EXPECT_EQ(a.data2, 0x0405u);
  EXPECT_EQ(a.data3, 0x4607u);
  const uint8_t data4[8] = {0x88, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(a.data4[i], data4[i]) << i;

  uint8_t ones[16];
  for (auto& b : ones) b = 0xFF;
  const Uuid b = UuidFromRandomBytes(ones);
  EXPECT_EQ(b.data3, 0x4FFFu);
  EXPECT_EQ(b.data4[0], 0xBFu);
  EXPECT_EQ(b.data1, 0xFFFFFFFFu);
}

TEST(SystemInfoTest, UuidsAreVersionFourAndDistinct) {
  std::set<std::tuple<uint32_t, uint16_t, uint16_t, uint64_t>> seen;
  for (int i = 0; i < 1000; ++i) {
    auto uuid = CreateUuid();
    ASSERT_TRUE(uuid.ok());
    EXPECT_EQ(uuid->data3 >> 12, 4u);
    EXPECT_EQ(uuid->data4[0] & 0xC0u, 0x80u);
    uint64_t tail = 0;
    for (uint8_t byte : uuid->data4) tail = tail << 8 | byte;
    seen.emplace(uuid->data1, uuid->data2, uuid->data3, tail);
  }
  EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace ztn::platform
