// Skin source, skin file and skin buffer formats.
#include "hostrun/environment/skin_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/string_util.h"

namespace {

TEST(SkinSource, ParsesKeysAndTextsAsWritten) {
  const std::string source =
      "\xEF\xBB\xBF# comment\r\n"
      "\n"
      "IDS_A=Hello\\nWorld\r\n"
      "  IDS_B.x-1 =  spaced = text\n"
      "IDS_EMPTY=\n"
      "IDS_KO=\xEC\xA0\x9C\xED\x92\x88\n"  // 제품
      "IDS_EMOJI=\xF0\x9F\x98\x80";         // U+1F600, no final line feed
  std::vector<SkinText> texts;
  std::string error;
  ASSERT_TRUE(ParseSkinSource(source, texts, error)) << error;
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0].key, u"IDS_A");
  EXPECT_EQ(texts[0].text, u"Hello\\nWorld");
  EXPECT_EQ(texts[1].key, u"IDS_B.x-1");
  EXPECT_EQ(texts[1].text, u"  spaced = text");
  EXPECT_EQ(texts[2].text, u"");
  EXPECT_EQ(texts[3].text, u"제품");
  EXPECT_EQ(texts[4].text, u"\U0001F600");
}

TEST(SkinSource, RejectsBadLinesNamingTheLine) {
  struct Case {
    const char* source;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"IDS_A=x\nno equals sign\n", "line 2"},
      {"=text\n", "line 1: empty key"},
      {"IDS A=x\n", "line 1"},
      {"IDS_A=x\n# c\nIDS_A=y\n", "line 3: duplicate key IDS_A"},
      {"IDS_A=\xC3\x28\n", "line 1: text is not valid UTF-8"},
      {"IDS_A=\xED\xA0\x80\n", "line 1: text is not valid UTF-8"},  // a surrogate
      {"IDS_A=\xC0\xAF\n", "line 1: text is not valid UTF-8"},      // overlong
      {"IDS_A=\xE2\x82\n", "line 1: text is not valid UTF-8"},      // cut short
  };
  for (const Case& c : cases) {
    std::vector<SkinText> texts = {SkinText{0, u"KEEP", u"me"}};
    std::string error;
    EXPECT_FALSE(ParseSkinSource(c.source, texts, error)) << c.source;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    ASSERT_EQ(texts.size(), 1u) << "output changed on failure";
  }
}

TEST(SkinFile, RoundTripsAndRefusesEveryTruncation) {
  const std::vector<SkinText> texts = {
      {0, u"IDS_PRODUCT_NAME", u"ZTN 호스트"},
      {0, u"IDS_MSG", u"line\\nbreak"},
      {3, u"IMAGE_X", u"kind three"},
  };
  std::vector<uint8_t> file;
  std::string error;
  ASSERT_TRUE(SerializeSkinFile(texts, file, error));
  std::vector<SkinText> back;
  ASSERT_TRUE(ParseSkinFile(file.data(), file.size(), back, error)) << error;
  ASSERT_EQ(back.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(back[i].kind, texts[i].kind);
    EXPECT_EQ(back[i].key, texts[i].key);
    EXPECT_EQ(back[i].text, texts[i].text);
  }
  for (size_t size = 0; size < file.size(); ++size) {
    EXPECT_FALSE(ParseSkinFile(file.data(), size, back, error)) << "accepted " << size << " bytes";
  }
  std::vector<uint8_t> longer = file;
  longer.push_back(0);
  EXPECT_FALSE(ParseSkinFile(longer.data(), longer.size(), back, error));
  EXPECT_EQ(error, "bytes after the last entry");

  std::vector<uint8_t> badVersion = file;
  badVersion[4] = 2;
  EXPECT_FALSE(ParseSkinFile(badVersion.data(), badVersion.size(), back, error));
  std::vector<uint8_t> hugeCount = file;
  hugeCount[8] = hugeCount[9] = hugeCount[10] = hugeCount[11] = 0xFF;
  EXPECT_FALSE(ParseSkinFile(hugeCount.data(), hugeCount.size(), back, error));
  std::vector<uint8_t> hugeLength = file;
  hugeLength[16] = hugeLength[17] = hugeLength[18] = hugeLength[19] = 0xFF;  // first key length
  EXPECT_FALSE(ParseSkinFile(hugeLength.data(), hugeLength.size(), back, error));

  const std::vector<SkinText> unpaired = {{0, u"IDS_X", std::u16string(1, u'\xD800')}};
  EXPECT_FALSE(SerializeSkinFile(unpaired, file, error));
}

TEST(SkinBuffer, BuiltBufferReadsBackThroughTheView) {
  const std::vector<SkinText> texts = {
      {0, u"IDS_ONE", u"first"}, {1, u"IDS_TWO", u"hidden kind"}, {0, u"IDS_THREE", u""}};
  const std::vector<uint8_t> buffer = BuildSkinBuffer(texts);
  const SkinBufferView view(buffer.data(), buffer.size());
  EXPECT_EQ(view.BodySize() + 4, buffer.size());
  EXPECT_EQ(view.DeclaredCount(), 3);
  EXPECT_EQ(view.UsableEntries(), 3u);
  std::u16string text;
  EXPECT_TRUE(FindSkinText(view, ztn::HashString(u"IDS_ONE"), text));
  EXPECT_EQ(text, u"first");
  EXPECT_FALSE(FindSkinText(view, ztn::HashString(u"IDS_TWO"), text)) << "kind 1 matched";
  EXPECT_TRUE(FindSkinText(view, ztn::HashString(u"IDS_THREE"), text));
  EXPECT_EQ(text, u"");
  // The texts are stored encrypted, not as plain UTF-16.
  const std::u16string plain = u"first";
  const auto* raw = reinterpret_cast<const uint8_t*>(plain.data());
  EXPECT_EQ(std::search(buffer.begin(), buffer.end(), raw, raw + plain.size() * 2), buffer.end());

  // Cut anywhere, the view never reads past what it was given.
  for (size_t size = 0; size < buffer.size(); ++size) {
    const SkinBufferView cut(buffer.data(), size);
    std::u16string found;
    (void)FindSkinText(cut, ztn::HashString(u"IDS_ONE"), found);
    EXPECT_TRUE(found.empty() || found == u"first");
  }
}

}  // namespace
