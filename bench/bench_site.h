// A generated page with 10,000 movies (or 100 × moviesPerFrame) spread over 100 nested frames
// (10 frames, each holding 9 iframes); every other movie is an OBJECT, the rest EMBEDs.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace trovex::bench {

inline constexpr int kOuterFrames = 10;
inline constexpr int kInnerFrames = 9;
inline constexpr int kMoviesPerFrame = 100;
inline const std::string kFlashId = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";

inline std::string FramePage(const std::string& name, const std::string& children,
                             int moviesPerFrame = kMoviesPerFrame) {
  std::string html = "<html><body><h1>" + name + "</h1>\n";
  for (int i = 0; i < moviesPerFrame; ++i) {
    std::string movie = "movies/" + name + "_" + std::to_string(i) + ".swf";
    if (i % 2)
      html += "<object classid='" + kFlashId + "' width=10 height=10><param name=movie value='" +
              movie + "'><param name=quality value=high></object>\n";
    else
      html += "<p>text " + std::to_string(i) + "</p><embed src='" + movie +
              "' type='application/x-shockwave-flash' width=10 height=10>\n";
  }
  return html + children + "</body></html>";
}

struct Site {
  std::map<std::string, std::string> pages;  // path from the site root -> html
  int movies = 0;
  int moviesPerFrame = kMoviesPerFrame;
};

inline Site MakeSite(int moviesPerFrame = kMoviesPerFrame) {
  Site site;
  site.moviesPerFrame = moviesPerFrame;
  std::string top = "<html><frameset rows='*'>";
  for (int o = 0; o < kOuterFrames; ++o) {
    std::string outer = "f" + std::to_string(o);
    std::string children;
    for (int i = 0; i < kInnerFrames; ++i) {
      std::string inner = outer + "_" + std::to_string(i);
      children += "<iframe src='" + inner + ".html'></iframe>\n";
      site.pages[inner + ".html"] = FramePage(inner, "", moviesPerFrame);
      site.movies += moviesPerFrame;
    }
    top += "<frame src='" + outer + ".html'>";
    site.pages[outer + ".html"] = FramePage(outer, children, moviesPerFrame);
    site.movies += moviesPerFrame;
  }
  site.pages["index.html"] = top + "</frameset></html>";
  return site;
}

// Writes the pages under `folder`, and each movie as a small file in folder/movies, so that a
// scan from disk reads real sizes. False when a file could not be written.
inline bool WriteSite(const Site& site, const std::string& folder) {
  std::filesystem::create_directories(folder + "/movies");
  for (const auto& [path, html] : site.pages) {
    std::ofstream page(folder + "/" + path);
    if (!(page << html)) return false;
    if (path == "index.html") continue;
    std::string name = path.substr(0, path.size() - 5);
    for (int i = 0; i < site.moviesPerFrame; ++i) {
      std::ofstream movie(folder + "/movies/" + name + "_" + std::to_string(i) + ".swf");
      if (!(movie << "FWS")) return false;
    }
  }
  return true;
}

}  // namespace trovex::bench
