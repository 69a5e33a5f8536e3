#include "preview/flash_properties.h"

#include <gtest/gtest.h>

#include <vector>

#include "res/dialog_init.h"

namespace trovex {
namespace {

std::vector<std::uint8_t> TemplateStream() {
  auto item = FindDialogInitItem(1000, 1038);
  EXPECT_TRUE(item.has_value());
  return item ? std::vector<std::uint8_t>(item->data.begin(), item->data.end()) : std::vector<std::uint8_t>{};
}

TEST(DialogInit, SaveDialogResourceHoldsThePreviewStream) {
  const auto resource = FindDialogInitResource(1000);
  ASSERT_EQ(resource.size(), 214u);
  const auto items = ParseDialogInit(resource);
  ASSERT_TRUE(items.has_value());
  ASSERT_EQ(items->size(), 1u);
  EXPECT_EQ((*items)[0].nControlId, 1038);
  EXPECT_EQ((*items)[0].nMessage, WM_OCC_INITNEW_STREAM);
  EXPECT_EQ((*items)[0].data.size(), 204u);
  EXPECT_FALSE(FindDialogInitItem(1000, 1000).has_value());
  EXPECT_FALSE(FindDialogInitItem(1008, 1038).has_value());
}

TEST(DialogInit, DamagedResourcesAreRefused) {
  const std::vector<std::uint8_t> good(FindDialogInitResource(1000).begin(), FindDialogInitResource(1000).end());
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"no terminator", {good.begin(), good.end() - 2}},
      {"length past the end", {0x0E, 0x04, 0x76, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0}},
      {"half a header", {0x0E, 0x04, 0x76}},
  };
  for (const Case& c : cases) EXPECT_FALSE(ParseDialogInit(c.bytes).has_value()) << c.what;
  const std::vector<std::uint8_t> onlyEnd = {0, 0};
  EXPECT_EQ(ParseDialogInit(onlyEnd)->size(), 0u);
}

TEST(FlashInitData, TemplateStreamGivesThePersistedProperties) {
  const auto props = ParseFlashInitData(TemplateStream());
  ASSERT_TRUE(props.has_value());
  EXPECT_EQ(props->nWidthHimetric, 7144);
  EXPECT_EQ(props->nHeightHimetric, 6403);
  EXPECT_EQ(props->strWMode, "Window");
  EXPECT_EQ(props->strQuality, "High");
  EXPECT_EQ(props->strScale, "ShowAll");
  EXPECT_EQ(props->strAllowScriptAccess, "always");
  EXPECT_TRUE(props->bPlay);
  EXPECT_TRUE(props->bLoop);
  EXPECT_TRUE(props->bMenu);
  EXPECT_FALSE(props->bDeviceFont);
  EXPECT_EQ(props->strMovie, "");
  EXPECT_EQ(props->strBGColor, "");
}

TEST(FlashInitData, EveryTruncationAndCorruptionIsRefused) {
  const std::vector<std::uint8_t> good = TemplateStream();
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(ParseFlashInitData(std::span(good.data(), n)).has_value()) << "cut at " << n;
  }
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  } cases[] = {
      {"licence key longer than the data", 0, 0xF0},
      {"wrong stream magic", 4, 0x00},
      {"wrong header word", 9, 0x04},
      {"odd string byte count", 22, 3},
      {"unknown type code", 20, 9},
      {"string without terminator", 26, 'x'},
      {"boolean where the quality string belongs", 72, 11},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bad = good;
    bad[c.offset] = c.value;
    EXPECT_FALSE(ParseFlashInitData(bad).has_value()) << c.what;
  }
}

TEST(PlayerConfig, PropertiesMapToThePlayerAndNeverOpenTheSandbox) {
  FlashProperties open;
  open.strAllowScriptAccess = "always";
  open.strScale = "exactfit";
  open.strQuality = "AutoLow";
  open.strBGColor = "#1a2B3c";
  open.bPlay = false;
  open.bMenu = false;
  FlashProperties odd;
  odd.strScale = "bogus";
  odd.strQuality = "";
  odd.strWMode = "Transparent";
  odd.strBGColor = "red\"};alert(1);//";
  struct Case {
    const char* what;
    FlashProperties props;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {"defaults",
       FlashProperties{},
       {"\"autoplay\":\"on\"", "\"quality\":\"high\"", "\"scale\":\"showAll\"", "\"wmode\":\"window\"",
        "\"contextMenu\":\"on\""},
       {"backgroundColor"}},
      {"template values", *ParseFlashInitData(TemplateStream()), {"\"scale\":\"showAll\"", "\"quality\":\"high\""}, {}},
      {"explicit",
       open,
       {"\"scale\":\"exactFit\"", "\"quality\":\"low\"", "\"backgroundColor\":\"#1a2B3c\"", "\"autoplay\":\"off\"",
        "\"contextMenu\":\"off\""},
       {}},
      {"unknown values fall back", odd, {"\"scale\":\"showAll\"", "\"quality\":\"high\"", "\"wmode\":\"transparent\""},
       {"alert", "backgroundColor"}},
  };
  for (const Case& c : cases) {
    const std::string json = PlayerConfigJson(c.props);
    for (const std::string& s : c.present) EXPECT_NE(json.find(s), std::string::npos) << c.what << ": " << s;
    for (const std::string& s : c.absent) EXPECT_EQ(json.find(s), std::string::npos) << c.what << ": " << s;
    for (const char* always : {"\"allowNetworking\":\"none\"", "\"allowScriptAccess\":false", "\"openUrlMode\":\"deny\""}) {
      EXPECT_NE(json.find(always), std::string::npos) << c.what << ": " << always;
    }
  }
}

TEST(PlayerConfig, JsonStringsCannotBreakOutOfThePage) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", "\"\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"</script>", "\"\\u003c/script\\u003e\""},
      {"line\nbreak\x01", "\"line\\u000abreak\\u0001\""},
      {"\xE2\x80\xA8", "\"\\u2028\""},
      {"預覽", "\"\\u9810\\u89bd\""},
      {"\xFF", "\"\\ufffd\""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace trovex
