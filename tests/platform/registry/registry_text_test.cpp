// Hive text is one encoding (UTF-8) whatever the locale of the process that wrote it; names
// compare as characters; depth and size of a hive are bounded and cost linear time.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry/regedit4.h"
#include "platform/registry/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

// 許功蓋 in Big5: every character has a 0x5C trail byte. 設定 has none.
const std::string kBig5Xu = "\xB3\x5C", kBig5Gong = "\xA5\x5C", kBig5Gai = "\xBB\x5C";
const std::string kBig5SheDing = "\xB3\x5D\xA9\x77";
const std::string kUtf8Xu = "\xE8\xA8\xB1", kUtf8Gong = "\xE5\x8A\x9F", kUtf8Gai = "\xE8\x93\x8B";
const std::string kUtf8SheDing = "\xE8\xA8\xAD\xE5\xAE\x9A";

class RegistryText : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::setlocale(LC_ALL, "zh_TW.BIG5")) GTEST_SKIP() << "no zh_TW.BIG5 locale";
    std::setlocale(LC_ALL, "C");
  }
  std::string UserFile() const { return home_.config() + "/kelvora-swf-trovex/user.reg"; }
  test::IsolatedHome home_;
};

void WriteAt(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Runs fn in a child process with the given locale; its report, or "exit N".
std::string InLocale(const char* locale, const std::function<std::string()>& fn) {
  test::ChildResult r = test::RunInChild([&] {
    if (!std::setlocale(LC_ALL, locale)) return std::string("no locale");
    return fn();
  });
  return r.exitCode == 0 ? r.report : "exit " + std::to_string(r.exitCode);
}

std::string Enumerate(const std::string& path) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &h)) return "<no key>";
  std::string out;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(h, i, name, &len, nullptr, nullptr, nullptr, nullptr)) break;
    out += std::string(name, len) + "|";
  }
  RegCloseKey(h);
  return out;
}

std::string Query(const std::string& path, const std::string& value) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &h)) return "<no key>";
  char data[256];
  DWORD size = sizeof data, type = 0;
  LSTATUS st = RegQueryValueExA(h, value.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(h);
  if (st) return "<" + std::to_string(st) + ">";
  return std::string(data, size ? size - 1 : 0);
}

std::string Write(const std::string& path, const std::string& value, const std::string& text) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                      nullptr))
    return "create failed; ";
  LSTATUS st = RegSetValueExA(h, value.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
  RegCloseKey(h);
  return st ? "set failed; " : "";
}

TEST_F(RegistryText, NamesAndTextWrittenInOneLocaleReadBackInAnother) {
  struct Side {
    const char* locale;
    std::string xu, gong, gai, sheDing;
  };
  const Side big5{"zh_TW.BIG5", kBig5Xu, kBig5Gong, kBig5Gai, kBig5SheDing};
  const Side utf8{"C.UTF-8", kUtf8Xu, kUtf8Gong, kUtf8Gai, kUtf8SheDing};
  struct Case {
    const Side& writer;
    const Side& reader;
  };
  for (const Case& c : {Case{big5, utf8}, Case{utf8, big5}, Case{big5, big5}}) {
    SCOPED_TRACE(std::string(c.writer.locale) + " -> " + c.reader.locale);
    test::IsolatedHome home;
    const Side& w = c.writer;
    EXPECT_EQ(InLocale(w.locale, [&] {
      std::string report =
          Write("Software\\" + w.xu + w.gong + "\\" + w.sheDing, w.gai, w.xu + "\\" + w.gong);
      return report + Write("Software\\" + w.gai, "v", "1");
    }), "");
    const Side& r = c.reader;
    EXPECT_EQ(InLocale(r.locale, [&] {
      std::string report = Enumerate("Software") + " ";
      report += Enumerate("Software\\" + r.xu + r.gong) + " ";
      return report + Query("Software\\" + r.xu + r.gong + "\\" + r.sheDing, r.gai);
    }), r.xu + r.gong + "|" + r.gai + "| " + r.sheDing + "| " + r.xu + "\\" + r.gong);
    // The file itself is UTF-8, whoever wrote it.
    std::string file = test::ReadFile(home.config() + "/kelvora-swf-trovex/user.reg");
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\" + kUtf8Xu + kUtf8Gong + "\\" +
                        kUtf8SheDing + "]"),
              std::string::npos)
        << file;
  }
}

TEST_F(RegistryText, NamesCompareIgnoringCaseAsCharactersInEveryLocale) {
  struct Case {
    std::string a, b;
    bool same;
  };
  const Case cases[] = {
      {"Settings", "SETTINGS", true},
      {"\xC3\x84pfel", "\xC3\xA4PFEL", true},          // Äpfel / äPFEL
      {"\xCE\xA3\xCE\xB1", "\xCF\x83\xCE\x91", true},  // Σα / σΑ
      {"\xD0\x96", "\xD0\xB6", true},                  // Ж / ж
      {"\xEF\xBC\xA1", "\xEF\xBD\x81", true},          // fullwidth Ａ / ａ
      {kUtf8Xu, kUtf8Gong, false},
      {"\xE8\xB1\x89", "\xE8\x8E\xA7", false},  // Big5 B3 61 / B3 41: no letters
      {"a", "a\xCC\x81", false},
  };
  for (const char* locale : {"C", "C.UTF-8", "zh_TW.BIG5"}) {
    std::setlocale(LC_ALL, locale);
    for (const Case& c : cases)
      EXPECT_EQ(reg::RegNamesEqual(c.a, c.b), c.same) << locale << ": " << c.a << " / " << c.b;
  }
  std::setlocale(LC_ALL, "C");
  // Through the API: two keys whose Big5 names differ only in a trail byte that looks like a
  // letter stay two keys.
  EXPECT_EQ(InLocale("zh_TW.BIG5", [] {
    std::string report = Write("Software\\\xB3\x61", "v", "a");
    report += Write("Software\\\xB3\x41", "v", "A");
    report += Query("Software\\\xB3\x61", "v");
    return report + Query("Software\\\xB3\x41", "v");
  }), "aA");
}

// A hive written by a Big5 process before hives were UTF-8 still reads the same there, and
// the next write turns it into UTF-8 without losing anything.
TEST_F(RegistryText, AnOldBig5HiveStaysReadable) {
  // As the old writer wrote it: every 0x5C byte in quotes doubled, trail bytes included.
  WriteAt(UserFile(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\" + kBig5Xu + kBig5Gong +
                          "]\n\"\xBB\\\\\"=\"C:\\\\\xB3\\\\\"\n\n");
  const std::string path = "Software\\" + kBig5Xu + kBig5Gong;
  EXPECT_EQ(InLocale("zh_TW.BIG5", [&] {
    std::string report = Query(path, kBig5Gai) + "|";
    report += Write(path, "new", "x");
    return report + Query(path, kBig5Gai);
  }), "C:\\" + kBig5Xu + "|C:\\" + kBig5Xu);
  EXPECT_EQ(InLocale("C.UTF-8", [] {
    return Query("Software\\" + kUtf8Xu + kUtf8Gong, kUtf8Gai);
  }), "C:\\" + kUtf8Xu);
}

// Found by fuzzing in the Big5 locale: a name decoded in one key line and kept as bytes in
// another made two keys of one, and the next read of the written file gave a different hive.
// Whatever is read, in any locale, is written so that it reads back the same.
TEST_F(RegistryText, WhatIsReadIsWrittenSoThatItReadsBackTheSame) {
  std::string longBig5;
  for (int i = 0; i < 120; ++i) longBig5 += kBig5SheDing.substr(0, 2);  // 240 bytes, 360 in UTF-8
  const std::string texts[] = {
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\\xE8\xA8$\\\xE8'\xAD]\n\"\xE8\x93\x8B\"=\"x\"\n",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\" + kBig5Xu + "\\" + kUtf8Gong + "\\\xFF\xFE]\n",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\" + longBig5 + "]\n\"v\"=\"" + longBig5 + "\"\n",
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\\xB3\\\xEF\xBB\xBF\xA5\\]\n",
  };
  for (const char* locale : {"C", "C.UTF-8", "zh_TW.BIG5"}) {
    std::setlocale(LC_ALL, locale);
    for (const std::string& text : texts) {
      SCOPED_TRACE(std::string(locale) + ": " + text);
      reg::RegKey first, second;
      std::string error;
      // Elsewhere than Big5, a Big5 trail byte 0x5C is a separator and may make a bad path.
      bool read = reg::ParseRegedit4(text, "HKEY_CURRENT_USER", &first, &error);
      if (std::string(locale) == "zh_TW.BIG5") {
        ASSERT_TRUE(read) << error;
      }
      if (!read) continue;
      const std::string written = reg::SerializeRegedit4(first, "HKEY_CURRENT_USER");
      ASSERT_TRUE(reg::ParseRegedit4(written, "HKEY_CURRENT_USER", &second, &error)) << error;
      EXPECT_EQ(reg::SerializeRegedit4(second, "HKEY_CURRENT_USER"), written);
    }
  }
  std::setlocale(LC_ALL, "C");
}

TEST_F(RegistryText, KeyDepthIsBoundedAsOnWindows) {
  struct Case {
    std::size_t depth;
    LSTATUS status;
  };
  for (const Case& c : {Case{reg::kMaxKeyDepth, ERROR_SUCCESS},
                        Case{reg::kMaxKeyDepth + 1, ERROR_INVALID_PARAMETER}}) {
    std::string path;
    for (std::size_t i = 0; i < c.depth; ++i) path += (i ? "\\k" : "k");
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, nullptr),
              c.status)
        << c.depth;
    if (h) {
      // One level more below an open key is refused the same way.
      HKEY deeper = nullptr;
      EXPECT_EQ(RegCreateKeyExA(h, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
                ERROR_INVALID_PARAMETER);
      RegCloseKey(h);
    }
  }
}

// A crafted 16 KB hive with one key 8,000 levels deep is refused as damaged at once; tens of
// thousands of sibling keys or values read and write in linear time.
TEST_F(RegistryText, CraftedHivesCostLinearTime) {
  std::string deep = "REGEDIT4\n\n[HKEY_CURRENT_USER";
  for (int i = 0; i < 8000; ++i) deep += "\\k";
  deep += "]\n";
  reg::RegKey root;
  std::string error;
  EXPECT_FALSE(reg::ParseRegedit4(deep, "HKEY_CURRENT_USER", &root, &error));
  EXPECT_NE(error.find("deep"), std::string::npos) << error;

  std::string wide = "REGEDIT4\n\n";
  for (int i = 0; i < 40000; ++i) wide += "[HKEY_CURRENT_USER\\S\\k" + std::to_string(i) + "]\n";
  wide += "[HKEY_CURRENT_USER\\V]\n";
  for (int i = 0; i < 40000; ++i) wide += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(reg::ParseRegedit4(wide, "HKEY_CURRENT_USER", &root, &error)) << error;
  std::string text = reg::SerializeRegedit4(root, "HKEY_CURRENT_USER");
  ASSERT_TRUE(reg::ParseRegedit4(text, "HKEY_CURRENT_USER", &root, &error)) << error;
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(root.Find({"S"})->subkeys.size(), 40000u);
  EXPECT_EQ(root.Find({"V"})->values.size(), 40000u);
  EXPECT_NE(root.Find({"S", "K39999"}), nullptr);
  EXPECT_NE(root.Find({"V"})->FindValue("V123"), nullptr);
  // Quadratic work took about 11 s here; linear takes well under a second.
  EXPECT_LT(took, std::chrono::seconds(4));
}

}  // namespace
}  // namespace trovex
