// Expanding a folder with 10,000 subfolders in the shell folder tree (a plain program: it needs
// a display). Usage: bench_shell_expand [count]. Prints the time of the expansion.
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "shelltree/shell_tree.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/bench-shell-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string base = tmpl;
  // Own home and desktop, so the big folder sits on the desktop.
  setenv("HOME", base.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
  fs::create_directories(base + "/Desktop/big");
  for (int i = 0; i < count; ++i) {
    fs::create_directory(base + "/Desktop/big/資料夾 " + std::to_string(i));
    if (i % 10 == 0) fs::create_directory(base + "/Desktop/big/資料夾 " + std::to_string(i) + "/sub");
  }
  wxApp::SetInstance(new wxApp);
  wxInitializer init(argc, argv);
  if (!init.IsOk()) {
    std::fprintf(stderr, "no display\n");
    return 2;
  }
  auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(400, 600));
  auto* tree = new trovex::CShellTree(frame, wxID_ANY, wxDefaultPosition, wxSize(400, 600),
                                      wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE);
  frame->Show();
  tree->EnableImages();
  tree->PopulateTree();
  wxTreeItemIdValue cookie;
  wxTreeItemId big;
  for (wxTreeItemId c = tree->GetFirstChild(tree->GetRootItem(), cookie); c.IsOk();
       c = tree->GetNextChild(tree->GetRootItem(), cookie))
    if (tree->GetItemText(c) == "big") big = c;
  if (!big.IsOk()) return 3;
  for (int run = 0; run < 3; ++run) {
    tree->CollapseAndReset(big);
    if (auto* d = tree->GetShellData(big)) d->bFilled = false;
    tree->SetItemHasChildren(big, true);
    auto t0 = std::chrono::steady_clock::now();
    tree->Expand(big);
    tree->Update();
    auto t1 = std::chrono::steady_clock::now();
    std::printf("expand %zu subfolders: %.1f ms\n", tree->GetChildrenCount(big, false),
                std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  frame->Destroy();
  delete frame;
  fs::remove_all(base);
  return 0;
}
