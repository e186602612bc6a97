#include "support/caller_token.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/code_page.h"
#include "platform/system_info.h"
#include "support/machine_identity.h"
#include "support/md5_string.h"
#include "support/string_util.h"
#include "tests/common/multiprocess.h"

namespace ztn {
namespace {

platform::Result<std::string> UnreadableMachineId() {
  return platform::Error{platform::ErrorCode::FileNotFound, 0};
}
platform::Result<std::string> OtherMachineId() { return std::string("0123456789abcdef0123456789abcdef"); }

// Restores the real machine id source when a test ends.
struct MachineIdReaderGuard {
  explicit MachineIdReaderGuard(MachineIdReader reader) { SetMachineIdReaderForTesting(reader); }
  ~MachineIdReaderGuard() { SetMachineIdReaderForTesting(nullptr); }
};

bool IsUpperHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }

// A valid token for this machine with a chosen salt, built by the token rule.
std::u16string TokenWithSalt(const std::u16string& salt) {
  std::u16string identity;
  EXPECT_TRUE(GetVolumeSerialString(identity));
  std::u16string digest;
  EXPECT_TRUE(GetMD5String(identity + salt, digest));
  return salt + digest;
}

TEST(MachineIdentity, DerivedFromMachineIdWithoutLeadingZeros) {
  // md5("0123...cdef" "linkmod-machine") starts with AE993E26.
  EXPECT_EQ(MachineIdentityFromMachineId("0123456789abcdef0123456789abcdef"), u"AE993E26");
  // md5 of this one starts with 00AEAD66: the leading zeros are not written.
  EXPECT_EQ(MachineIdentityFromMachineId("00000000000000000000000000000105"), u"AEAD66");
  EXPECT_EQ(MachineIdentityFromMachineId(""), u"Unknown");
}

TEST(MachineIdentity, ReadsThePlatformSourceOrSaysUnknown) {
  std::u16string identity = u"stale";
  ASSERT_TRUE(GetVolumeSerialString(identity));
  auto machineId = platform::ReadMachineIdText();
  EXPECT_EQ(identity, machineId.ok() ? MachineIdentityFromMachineId(machineId.value()) : u"Unknown");
  EXPECT_GE(identity.size(), 1u);
  EXPECT_LE(identity.size(), 8u);

  MachineIdReaderGuard guard(&UnreadableMachineId);
  ASSERT_TRUE(GetVolumeSerialString(identity));
  EXPECT_EQ(identity, u"Unknown");
}

TEST(CallerToken, MadeTokenHasSaltAndDigestAndVerifies) {
  const std::u16string token = MakeCallerToken();
  ASSERT_EQ(token.size(), 36u);
  for (char16_t c : token) EXPECT_TRUE(IsUpperHex(c)) << static_cast<int>(c);
  EXPECT_NE(token.substr(0, 2), u"FF");
  EXPECT_NE(token.substr(2, 2), u"FF");
  EXPECT_TRUE(VerifyCallerToken(token));
  EXPECT_TRUE(VerifyCallerToken(token.c_str()));
}

TEST(CallerToken, SaltComesFromTheClockSeededGeneratorSecondDrawFirst) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const std::u16string first = MakeCallerToken();
    const std::u16string second = MakeCallerToken();
    const std::time_t after = std::time(nullptr);
    if (before != after) continue;  // crossed a second boundary; try again
    EXPECT_EQ(first, second);
    std::srand(static_cast<unsigned>(before));
    const int r1 = std::rand();
    const int r2 = std::rand();
    std::u16string salt;
    FormatString(salt, u"%02X%02X", r2 % 255, r1 % 255);
    EXPECT_EQ(first.substr(0, 4), salt);
    return;
  }
  FAIL() << "every attempt crossed a second boundary";
}

TEST(CallerToken, DigestCaseIsIgnoredSaltCaseIsNot) {
  const std::u16string token = TokenWithSalt(u"ABCD");
  ASSERT_TRUE(VerifyCallerToken(token));

  std::u16string lowerDigest = token;
  for (size_t i = 4; i < lowerDigest.size(); ++i) {
    if (lowerDigest[i] >= u'A' && lowerDigest[i] <= u'F') lowerDigest[i] += 32;
  }
  EXPECT_TRUE(VerifyCallerToken(lowerDigest));

  std::u16string lowerSalt = token;
  lowerSalt.replace(0, 4, u"abcd");
  EXPECT_FALSE(VerifyCallerToken(lowerSalt));
}

TEST(CallerToken, MalformedTokensAreRejected) {
  const std::u16string token = MakeCallerToken();
  ASSERT_EQ(token.size(), 36u);
  std::u16string flipped = token;
  flipped[20] = flipped[20] == u'0' ? u'1' : u'0';
  const std::u16string rejected[] = {
      u"", u"ABC", token.substr(0, 4), token + u"0", token.substr(0, 35), flipped,
      token + std::u16string(1, u'\0'),
  };
  for (const std::u16string& candidate : rejected) {
    EXPECT_FALSE(VerifyCallerToken(candidate)) << platform::WideToAnsiText(candidate);
  }
  EXPECT_FALSE(VerifyCallerToken(static_cast<const char16_t*>(nullptr)));
}

TEST(CallerToken, BoundToTheMachineIdentity) {
  const std::u16string token = MakeCallerToken();
  {
    MachineIdReaderGuard guard(&OtherMachineId);
    EXPECT_FALSE(VerifyCallerToken(token));
    EXPECT_TRUE(VerifyCallerToken(MakeCallerToken()));
  }
  {
    // "Unknown" is an identity like any other: made and checked alike.
    MachineIdReaderGuard guard(&UnreadableMachineId);
    const std::u16string unknownToken = MakeCallerToken();
    EXPECT_TRUE(VerifyCallerToken(unknownToken));
    EXPECT_EQ(unknownToken, TokenWithSalt(unknownToken.substr(0, 4)));
  }
}

ZTN_CHILD(VerifyToken) {
  if (args.size() != 1) return 2;
  return VerifyCallerToken(platform::AnsiToWideText(args[0])) ? 0 : 1;
}

// A process whose machine identity differs must reject the parent's token.
ZTN_CHILD(RejectTokenOnOtherMachine) {
  if (args.size() != 1) return 2;
  MachineIdReaderGuard guard(&OtherMachineId);
  return VerifyCallerToken(platform::AnsiToWideText(args[0])) ? 3 : 0;
}

TEST(CallerToken, TokenMadeInOneProcessVerifiesInAnother) {
  const std::string token = platform::WideToAnsiText(MakeCallerToken());
  auto child = test::SpawnChild("VerifyToken", {token});
  EXPECT_EQ(test::WaitChild(child), 0);

  auto tampered = test::SpawnChild("VerifyToken", {token.substr(0, 35)});
  EXPECT_EQ(test::WaitChild(tampered), 1);

  auto elsewhere = test::SpawnChild("RejectTokenOnOtherMachine", {token});
  EXPECT_EQ(test::WaitChild(elsewhere), 0);
}

}  // namespace
}  // namespace ztn
