#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "swf/swf_names.h"
#include "tests/support/swf_builder.h"

using namespace trovex;
using namespace trovex::swf;
using namespace trovex::testing;

namespace {

std::vector<std::string> Texts(const std::vector<Candidate>& candidates) {
  std::vector<std::string> out;
  for (const Candidate& c : candidates) out.push_back(c.text);
  return out;
}

std::vector<std::string> Addresses(const MovieNames& names) {
  std::vector<std::string> out;
  for (const NamedFile& f : names.files) out.push_back(f.address);
  return out;
}

std::string U16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
std::string Zeros(std::size_t n) { return std::string(n, '\0'); }

// A PlaceObject2 body with a matrix and a name before its clip actions; events in the movie's
// width (2 bytes before version 6, else 4), the second event a key press with its key code.
std::string PlaceWithClipActions(int version, const std::string& load, const std::string& key) {
  const bool wide = version >= 6;
  auto events = [&](std::uint32_t e) { return wide ? U32(e) : U16(e); };
  std::string body = "\xA6";           // clip actions, name, matrix, character
  body += U16(1) + U16(5);             // depth, character
  body += "\x88";                      // matrix: scale in 1-bit fields, then no rotation
  body += Zeros(1);                      // ... and 0-bit translation
  body += std::string("clip") + '\0';
  body += U16(0) + events(0x41);
  const std::string loadActions = load + ActEnd();
  body += events(0x01) + U32(static_cast<std::uint32_t>(loadActions.size())) + loadActions;
  if (wide) {
    const std::string keyActions = std::string(1, '\x41') + key + ActEnd();
    body += events(0x00020000) + U32(static_cast<std::uint32_t>(keyActions.size())) + keyActions;
  }
  return body + events(0);
}

std::string Button2(const std::vector<std::string>& conditionActions) {
  std::string body = U16(3) + Zeros(1) + U16(0);  // id, menu flag, action offset (set below)
  const std::size_t offsetAt = 3;
  body += std::string("\x01") + U16(4) + U16(1) + Zeros(1) + Zeros(1);  // a record, identity matrix, end
  body[offsetAt] = static_cast<char>(body.size() - offsetAt);
  for (std::size_t i = 0; i < conditionActions.size(); ++i) {
    const std::string actions = conditionActions[i] + ActEnd();
    const bool last = i + 1 == conditionActions.size();
    body += U16(last ? 0 : static_cast<unsigned>(actions.size() + 4)) + U16(8) + actions;
  }
  return body;
}

}  // namespace

// The strings of each kind of action record, with what comes before and after them.
TEST(SwfNames, ActionStrings) {
  struct Case {
    const char* name;
    std::string actions;
    std::vector<std::string> want;
  } cases[] = {
      {"getURL", ActGetUrl("levels/2.swf", "_level1") + ActEnd(), {"levels/2.swf", "_level1"}},
      {"push strings and numbers", ActPush({"a.xml", "b"}) + ActPushNumber(5) + ActPlain(0x0B), {"a.xml", "b"}},
      {"constant pool and references", ActConstantPool({"x", "music/a.mp3"}) + ActPushConstant(1) +
                                           ActPushConstant16(0) + ActPushConstant(9),
       {"x", "music/a.mp3", "music/a.mp3", "x"}},
      {"getURL2 takes the address below the target",
       ActPush({"levels/3.swf", "_level2"}) + ActGetUrl2() + ActEnd(),
       {"levels/3.swf", "_level2", "levels/3.swf"}},
      {"getURL2 after a plain action has none", ActPush({"x.swf", "t"}) + ActPlain(0x0B) + ActGetUrl2(),
       {"x.swf", "t"}},
      {"stops at the end action", ActEnd() + ActPush({"after.swf"}), {}},
      {"cut record", ActPush({"ok.swf"}) + ActGetUrl("cut.swf", "x").substr(0, 6), {"ok.swf"}},
      {"unterminated string", std::string("\x96\x04\x00\x00" "abc", 7), {}},
      {"unknown push type", std::string("\x96\x02\x00\x63\x00", 5) + ActPush({"next.swf"}), {"next.swf"}},
  };
  for (const Case& c : cases) {
    std::vector<Candidate> got;
    CollectActionStrings(c.actions, &got);
    EXPECT_EQ(Texts(got), c.want) << c.name;
  }
}

// Each tag that holds code, down to its actions or its ABC string pool.
TEST(SwfNames, TagStrings) {
  const std::string doAction = ActPush({"a.swf"}) + ActEnd();
  std::string doAbc = U32(1) + "frame1" + std::string(1, '\0') + AbcWithStrings({"assets/music.mp3", "skin.png"});
  std::string sprite = U16(9) + U16(1) + SwfTag(kTagDoAction, doAction) + SwfTag(1, "") + SwfTag(0, "");
  // Clip actions after a class name and a blur filter (9 bytes).
  std::string placeObject3 = std::string("\x80\x09", 2) + U16(1) + "Cls" + '\0' + "\x01\x01" + Zeros(9) +
                             U16(0) + U32(0x41) + U32(0x01);
  {
    const std::string actions = ActPush({"po3.swf"}) + ActEnd();
    placeObject3 += U32(static_cast<std::uint32_t>(actions.size())) + actions + U32(0);
  }
  // A record whose matrix has scale and rotation in 0-bit fields (17 bits, 3 bytes), then the end.
  const std::string button1 = U16(2) + "\x01" + U16(4) + U16(1) + std::string("\x82\x00\x00", 3) + Zeros(1) + doAction;
  struct Case {
    const char* name;
    std::uint16_t code;
    std::string body;
    int version;
    std::vector<std::string> want;
  } cases[] = {
      {"DoAction", kTagDoAction, doAction, 6, {"a.swf"}},
      {"DoInitAction", kTagDoInitAction, U16(4) + doAction, 6, {"a.swf"}},
      {"DoABC", kTagDoAbc, doAbc, 9, {"assets/music.mp3", "skin.png"}},
      {"DoABC without a name", kTagDoAbcPlain, AbcWithStrings({"x.xml"}), 9, {"x.xml"}},
      {"ABC cut in its pool", kTagDoAbcPlain, AbcWithStrings({"first.xml", "second.xml"}).substr(0, 36), 9,
       {"first.xml"}},
      {"sprite", kTagDefineSprite, sprite, 6, {"a.swf"}},
      {"clip actions, SWF 6", kTagPlaceObject2, PlaceWithClipActions(6, ActPush({"load.swf"}), ActPush({"key.xml"})),
       6, {"load.swf", "key.xml"}},
      {"clip actions, SWF 5", kTagPlaceObject2, PlaceWithClipActions(5, ActPush({"five.swf"}), ""), 5, {"five.swf"}},
      {"PlaceObject3 with a filter", kTagPlaceObject3, placeObject3, 8, {"po3.swf"}},
      {"button", kTagDefineButton, button1, 4, {"a.swf"}},
      {"button conditions", kTagDefineButton2, Button2({ActPush({"b1.swf"}), ActGetUrl("b2.xml", "")}), 6,
       {"b1.swf", "b2.xml"}},
      {"PlaceObject2 without clip actions", kTagPlaceObject2, std::string("\x02", 1) + U16(1) + U16(5), 6, {}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WantsTag(c.code)) << c.name;
    std::vector<Candidate> got;
    CollectTagStrings(c.code, c.body, c.version, &got);
    EXPECT_EQ(Texts(got), c.want) << c.name;
  }
  EXPECT_FALSE(WantsTag(9));
}

// The string rules: what reads as the address of a file a movie loads.
TEST(SwfNames, WhatReadsAsAFileAddress) {
  struct Case {
    const char* text;
    bool want;
  } cases[] = {
      {"levels/2.swf", true}, {"/abs/config.XML", true}, {"../up/music.mp3", true},
      {"http://cdn.example/skin.PNG", true}, {"https://h/v.flv?start=3", true}, {"data.json#x", true},
      {"//cdn.example/lib.swz", true}, {"a\\b\\c.jpeg", true}, {"f.f4v", true}, {"clip.mp4", true},
      {"s.wav", true}, {"t.txt", true}, {"g.gif", true}, {"j.jpg", true},
      {"", false}, {"_level1", false}, {"hello", false}, {"index.html", false}, {"get.php?f=a.swf", false},
      {"javascript:go('a.swf')", false}, {"FSCommand:quit.swf", false}, {"ftp://h/a.swf", false},
      {"C:\\games\\a.swf", false}, {"two words.swf", false}, {"a.swf\n", false}, {".swf", false},
      {"dir/.swf", false}, {"<a.swf>", false}, {"swf", false}, {"file:///tmp/a.swf", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LooksLikeFileAddress(c.text), c.want) << c.text;
}

TEST(SwfNames, FlashVarValues) {
  struct Case {
    const char* vars;
    std::vector<std::string> want;
  } cases[] = {
      {"config=conf%2Fgame.xml&lang=zh", {"conf/game.xml", "zh"}},
      {"a=1&&noValue&b=x%3Dy=z", {"1", "x=y=z"}},
      {"n=%00.swf&m=%zz.swf", {"%00.swf", "%zz.swf"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(FlashVarValues(c.vars), c.want) << c.vars;
}

// A whole movie, read from its bytes: kept names, resolved against the movie or the base.
TEST(SwfNames, FindsAndResolvesNamedFiles) {
  const std::string as2 = SwfTag(kTagDoAction, ActConstantPool({"levels/2.swf", "_level1"}) + ActPushConstant(0) +
                                                   ActPushConstant(1) + ActGetUrl2() +
                                                   ActGetUrl("/top.swf", "") + ActPush({"hello", "b.xml#frag"}) +
                                                   ActGetUrl("javascript:void(0)", "") + ActEnd());
  const std::string as3 = SwfFileAttributes(true) +
                          SwfTag(kTagDoAbc, U32(1) + std::string(1, '\0') +
                                                AbcWithStrings({"assets/music.mp3", "flash.display", "skin.png",
                                                                "http://Other.example:80/x.swf", "game.swf"}));
  struct Case {
    const char* name;
    std::string tags;
    SwfPacking packing;
    EmbedParams params;
    std::vector<std::string> want;
    std::string movie = "http://h/g/game.swf";
  } cases[] = {
      {"AS2 zlib", as2, SwfPacking::kZlib, {"config=conf%2Fa.xml", "", ""},
       {"http://h/g/conf/a.xml", "http://h/g/levels/2.swf", "http://h/top.swf", "http://h/g/b.xml"}},
      {"AS3 LZMA", as3, SwfPacking::kLzma, {},
       {"http://h/g/assets/music.mp3", "http://h/g/skin.png", "http://other.example/x.swf"}},
      {"base folder against the page", as3, SwfPacking::kPlain, {"", "media", "http://h/pages/p.html"},
       {"http://h/pages/media/assets/music.mp3", "http://h/pages/media/skin.png", "http://other.example/x.swf",
        "http://h/pages/media/game.swf"}},
      {"base \".\" keeps the movie's folder", as3, SwfPacking::kPlain, {"", ".", "http://h/pages/p.html"},
       {"http://h/g/assets/music.mp3", "http://h/g/skin.png", "http://other.example/x.swf"}},
      {"a page elsewhere, no base", as2, SwfPacking::kPlain, {"", "", "http://h/pages/p.html"},
       {"http://h/pages/levels/2.swf", "http://h/top.swf", "http://h/pages/b.xml"}},
      {"a base of a scheme no server has", as2, SwfPacking::kPlain, {"", "x:", "about:blank"}, {}},
      {"the movie's own query", "", SwfPacking::kPlain, {"a=x.txt", "", ""},
       {"http://h/g/x.txt", "http://h/g/data/c.json"}, "http://h/g/game.swf?cfg=data%2Fc.json#top"},
      {"a base on the disk for a web movie", as2, SwfPacking::kPlain, {"", "file:///etc/", ""}, {}},
      {"a local movie names local files", "", SwfPacking::kPlain, {"m=../x.xml", "", ""}, {"file:///m/x.xml"},
       "file:///m/g/a.swf"},
      {"absolute base", as2, SwfPacking::kPlain, {"", "http://cdn.example/m/", ""},
       {"http://cdn.example/m/levels/2.swf", "http://cdn.example/top.swf", "http://cdn.example/m/b.xml"}},
  };
  for (const Case& c : cases) {
    const std::string movie = SwfMovie({}, c.tags, c.packing);
    const MovieNames names = FindNamedFiles(MemorySource(movie), c.movie, c.params);
    EXPECT_TRUE(names.facts.ok()) << c.name;
    EXPECT_EQ(Addresses(names), c.want) << c.name;
  }
  // What was read before a cut is still reported, with the reason.
  const std::string cut = SwfMovie({}, as2 + SwfTag(9, std::string(5000, 'z')));
  const MovieNames names = FindNamedFiles(MemorySource(cut.substr(0, cut.size() - 100)), "file:///m/a.swf");
  EXPECT_EQ(names.facts.error, ReadError::kCut);
  EXPECT_EQ(Addresses(names).size(), 3u);
  EXPECT_EQ(Addresses(names)[0], "file:///m/levels/2.swf");
}

// Named movies are read in turn, breadth first, within depth and count, each address once.
TEST(SwfNames, FollowsLoadedMoviesInTurn) {
  auto movie = [](std::vector<std::string> names) {
    return SwfMovie({}, SwfTag(kTagDoAction, ActPush(names) + ActEnd()), SwfPacking::kZlib);
  };
  const std::map<std::string, std::string> server = {
      {"http://h/root.swf", movie({"a.swf", "cfg.xml", "missing.swf", "root.swf"})},
      {"http://h/a.swf", movie({"sub/b.swf", "cfg.xml"})},
      {"http://h/sub/b.swf", movie({"c.swf", "deep.mp3"})},
      {"http://h/sub/c.swf", movie({"../a.swf", "deeper.png"})},
  };
  const Fetch fetch = [&](const std::string& address) -> ByteSource {
    auto it = server.find(address);
    return it == server.end() ? ByteSource() : MemorySource(it->second);
  };
  struct Case {
    int depth;
    std::size_t maxFiles;
    std::vector<std::string> want;
    bool truncated;
  } cases[] = {
      {1, 100, {"a.swf@1", "cfg.xml@1", "missing.swf@1"}, false},
      {2, 100, {"a.swf@1", "cfg.xml@1", "missing.swf@1", "sub/b.swf@2"}, false},
      {9, 100, {"a.swf@1", "cfg.xml@1", "missing.swf@1", "sub/b.swf@2", "sub/c.swf@3", "sub/deep.mp3@3",
                "sub/deeper.png@4"}, false},
      {9, 5, {"a.swf@1", "cfg.xml@1", "missing.swf@1", "sub/b.swf@2", "sub/c.swf@3"}, true},
  };
  for (const Case& c : cases) {
    TurnLimits limits;
    limits.maxDepth = c.depth;
    limits.maxFiles = c.maxFiles;
    const NamesInTurn found = FindNamesInTurn("http://h/root.swf", {}, fetch, limits);
    std::vector<std::string> got;
    for (const FileInTurn& f : found.files)
      got.push_back(f.address.substr(std::string("http://h/").size()) + "@" + std::to_string(f.depth));
    EXPECT_EQ(got, c.want) << "depth " << c.depth;
    EXPECT_EQ(found.truncated, c.truncated) << "depth " << c.depth;
    if (c.depth > 1 && !c.truncated) {
      ASSERT_EQ(found.unreadable.size(), 1u);
      EXPECT_EQ(found.unreadable[0].address, "http://h/missing.swf");
      EXPECT_EQ(found.unreadable[0].error, ReadError::kCannotRead);
    }
  }
}
