#include "tests/support/movie_site.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "swf/swf_reader.h"
#include "tests/support/swf_builder.h"

namespace trovex::test {
namespace {

using namespace trovex::testing;

std::string U32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string As2Movie(const std::string& actions, SwfPacking packing) {
  return SwfMovie({}, SwfFileAttributes(false) + SwfTag(swf::kTagDoAction, actions + ActEnd()), packing);
}

}  // namespace

MovieSite ServeMovieSite(TestHttpServer& server) {
  MovieSite site;
  const std::string port = std::to_string(server.Port());
  site.movies["main.swf"] =
      As2Movie(ActConstantPool({"level1.swf", "levels/level2.swf"}) + ActPushConstant(0) + ActPushConstant(1) +
                   ActGetUrl("../outside/notes.txt", "_blank"),
               SwfPacking::kZlib);
  SwfHeader stage;
  stage.xMax = 550 * 20;
  stage.yMax = 400 * 20;
  stage.frameRate88 = 30 * 256;
  site.movies["game.swf"] = SwfMovie(
      stage,
      SwfFileAttributes(true) +
          SwfTag(swf::kTagDoAbc, U32(1) + "frame1" + std::string(1, '\0') +
                                     AbcWithStrings({"assets/music.mp3", "assets/skins/skin.png", "flash.display"})),
      SwfPacking::kLzma);
  site.movies["broken.swf"] = As2Movie(ActPush({"gone.xml"}), SwfPacking::kPlain);
  site.files["level1.swf"] = As2Movie(ActPush({"stop"}), SwfPacking::kPlain);
  site.files["levels/level2.swf"] = As2Movie(ActPush({"sounds/boom.mp3"}), SwfPacking::kZlib);
  site.files["sounds/boom.mp3"] = std::string("ID3") + std::string(900, '\x11');
  site.files["data/config.xml"] = "<config level=\"2\"/>";
  site.files["assets/music.mp3"] = std::string("ID3") + std::string(2000, '\x22');
  site.files["assets/skins/skin.png"] = std::string("\x89PNG") + std::string(300, '\x33');
  site.outsidePath = "127.0.0.1_" + port + "/outside/notes.txt";
  site.files[site.outsidePath] = "notes outside the page's folder";
  site.missingAddress = server.Url("/site/gone.xml");

  server.Reply("/site/page.html", 200,
               "<object classid='clsid:D27CDB6E-AE6D-11CF-96B8-444553540000'><param name=movie value=main.swf>"
               "<param name=FlashVars value='config=data%2Fconfig.xml&amp;mode=1'></object>"
               "<embed src='games/game.swf' type='application/x-shockwave-flash'><embed src=broken.swf>");
  server.Reply("/site/main.swf", 200, site.movies["main.swf"]);
  server.Reply("/site/games/game.swf", 200, site.movies["game.swf"]);
  server.Reply("/site/broken.swf", 200, site.movies["broken.swf"]);
  for (const auto& [path, bytes] : site.files)
    if (path != site.outsidePath) server.Reply("/site/" + path, 200, bytes);
  server.Reply("/outside/notes.txt", 200, site.files[site.outsidePath]);
  server.Reply("/site/gone.xml", 404, "not here");
  site.page = server.Url("/site/page.html");
  return site;
}

std::map<std::string, std::string> FilesUnder(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    tree[fs::relative(entry.path(), dir).generic_string()] = bytes.str();
  }
  return tree;
}

}  // namespace trovex::test
