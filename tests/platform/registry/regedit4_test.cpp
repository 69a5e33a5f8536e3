// The REGEDIT4 text form of a hive: what is written, what is read back, what is refused.
#include "platform/registry/regedit4.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace trovex::reg {
namespace {

std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(DWORD n) {
  return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                     static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
}

// Switches LC_CTYPE for one test and back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) {
    old_ = std::setlocale(LC_CTYPE, nullptr);
    ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_CTYPE, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_;
};

struct ValueCase {
  const char* label;
  std::string name;
  DWORD type;
  std::string data;
  std::string line;  // how the value is written
};

TEST(Regedit4, ValuesAreWrittenInTheirTextFormAndReadBackUnchanged) {
  const ValueCase cases[] = {
      {"plain", "Name", REG_SZ, Sz("text"), "\"Name\"=\"text\""},
      {"escapes", "a\\b\"c", REG_SZ, Sz("C:\\dir\\\"q\""), R"("a\\b\"c"="C:\\dir\\\"q\"")"},
      {"empty string", "Empty", REG_SZ, Sz(""), "\"Empty\"=\"\""},
      {"equals in name", "x=y", REG_SZ, Sz("=v="), "\"x=y\"=\"=v=\""},
      {"default value", "", REG_SZ, Sz("def"), "@=\"def\""},
      {"at sign as name", "@", REG_SZ, Sz("n"), "\"@\"=\"n\""},
      // Big5 許 is B3 5C: the trail byte is escaped like any backslash and comes back.
      {"big5 trail 5c", "\xB3\x5C", REG_SZ, Sz("\xB3\x5C\xA5\x5C"),
       "\"\xB3\\\\\"=\"\xB3\\\\\xA5\\\\\""},
      {"utf-8 bytes", "\xE8\xA8\xAD\xE5\xAE\x9A", REG_SZ, Sz("\xE8\xA8\xAD"),
       "\"\xE8\xA8\xAD\xE5\xAE\x9A\"=\"\xE8\xA8\xAD\""},
      {"dword", "Conflict Action", REG_DWORD, Dword(3), "\"Conflict Action\"=dword:00000003"},
      {"dword all bits", "n", REG_DWORD, Dword(0xFFFFFFFFu), "\"n\"=dword:ffffffff"},
      {"short dword", "d", REG_DWORD, std::string("\x01\x02", 2), "\"d\"=hex(4):01,02"},
      {"binary", "b", REG_BINARY, std::string("\x00\xFF\x10", 3), "\"b\"=hex:00,ff,10"},
      {"empty binary", "b", REG_BINARY, "", "\"b\"=hex:"},
      {"string without terminator", "s", REG_SZ, "ab", "\"s\"=hex(1):61,62"},
      {"string with line break", "s", REG_SZ, Sz("a\nb"), "\"s\"=hex(1):61,0a,62,00"},
      {"string with inner zero", "s", REG_SZ, std::string("a\0b\0", 4), "\"s\"=hex(1):61,00,62,00"},
      {"zero-size string", "s", REG_SZ, "", "\"s\"=hex(1):"},
      {"other type", "m", REG_MULTI_SZ, std::string("a\0\0", 3), "\"m\"=hex(7):61,00,00"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.label);
    RegKey root;
    root.SubkeyOrAdd("Software").SubkeyOrAdd("K").values.push_back({c.name, c.type, c.data});
    const std::string text = SerializeRegedit4(root, "HKEY_CURRENT_USER");
    EXPECT_EQ(text, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n"
                    "[HKEY_CURRENT_USER\\Software\\K]\n" + c.line + "\n\n");
    RegKey back;
    std::string error;
    ASSERT_TRUE(ParseRegedit4(text, "HKEY_CURRENT_USER", &back, &error)) << error;
    const RegValue* v = back.Find({"Software", "K"})->FindValue(c.name);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->strName, c.name);
    EXPECT_EQ(v->nType, c.type);
    EXPECT_EQ(v->data, c.data);
  }
}

TEST(Regedit4, TreeShapeCaseAndOrderSurviveARoundTrip) {
  RegKey root;
  root.values.push_back({"RootValue", REG_SZ, Sz("r")});
  RegKey& app = root.SubkeyOrAdd("Software").SubkeyOrAdd("Marrowick");
  app.SubkeyOrAdd("Empty Leaf");
  RegKey& save = app.SubkeyOrAdd("Kelvora SWF Trovex").SubkeyOrAdd("Trovex").SubkeyOrAdd("Save");
  save.values.push_back({"Column 2", REG_DWORD, Dword(60)});
  save.values.push_back({"Column 1", REG_DWORD, Dword(150)});

  const std::string text = SerializeRegedit4(root, "HKEY_LOCAL_MACHINE");
  RegKey back;
  std::string error;
  ASSERT_TRUE(ParseRegedit4(text, "HKEY_LOCAL_MACHINE", &back, &error)) << error;
  EXPECT_EQ(SerializeRegedit4(back, "HKEY_LOCAL_MACHINE"), text);
  ASSERT_NE(back.Find({"software", "MARROWICK", "empty leaf"}), nullptr);
  EXPECT_EQ(back.Find({"Software", "Marrowick"})->subkeys[0].strName, "Empty Leaf");
  const RegKey* s = back.Find({"Software", "Marrowick", "Kelvora SWF Trovex", "Trovex", "Save"});
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->values.size(), 2u);
  EXPECT_EQ(s->values[0].strName, "Column 2");
  ASSERT_NE(back.FindValue("rootvalue"), nullptr);
}

TEST(Regedit4, ReadsWhatOtherWritersProduce) {
  // CRLF line ends, comments, upper-case hex, a wrapped hex list, keys that only appear as
  // part of a longer path, a repeated key and a repeated value (the later one wins).
  const std::string text =
      "REGEDIT4\r\n\r\n; a comment\r\n"
      "[HKEY_CURRENT_USER\\A\\B]\r\n\"n\"=DWORD:0000000A\r\n\"h\"=hex:01,02,\\\r\n  03\r\n"
      "[HKEY_CURRENT_USER\\A\\B]\r\n\"n\"=dword:0000000b\r\n";
  RegKey root;
  std::string error;
  ASSERT_TRUE(ParseRegedit4(text, "HKEY_CURRENT_USER", &root, &error)) << error;
  const RegKey* b = root.Find({"A", "B"});
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->values.size(), 2u);
  EXPECT_EQ(b->FindValue("n")->data, Dword(11));
  EXPECT_EQ(b->FindValue("h")->data, std::string("\x01\x02\x03"));
}

TEST(Regedit4, RefusesAnythingThatIsNotAWellFormedHive) {
  const struct {
    const char* label;
    std::string text;
  } cases[] = {
      {"empty file", ""},
      {"no header", "[HKEY_CURRENT_USER\\A]\n"},
      {"other header", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n"},
      {"binary junk", std::string("\x7F" "ELF\x02\x01\x01\0\0", 9)},
      {"cut inside a string", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=\"abc"},
      {"cut inside a key line", "REGEDIT4\n\n[HKEY_CURRENT_US"},
      {"cut inside a dword", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=dword:0000"},
      {"unknown escape", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=\"C:\\dir\"\n"},
      {"text after the string", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=\"a\"b\n"},
      {"value before a key", "REGEDIT4\n\n\"n\"=\"a\"\n"},
      {"other hive", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n"},
      {"root name prefix only", "REGEDIT4\n\n[HKEY_CURRENT_USERS\\A]\n"},
      {"empty key name", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A\\\\B]\n"},
      {"bad hex", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=hex:0g\n"},
      {"missing equals", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\" \"a\"\n"},
      {"unknown data", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"n\"=qword:1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RegKey root;
    root.values.push_back({"keep", REG_SZ, Sz("me")});
    std::string error;
    EXPECT_FALSE(ParseRegedit4(c.text, "HKEY_CURRENT_USER", &root, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_NE(root.FindValue("keep"), nullptr) << "a refused text must not replace the tree";
  }
}

TEST(Regedit4, KeyPathsSplitOnBackslashesOnly) {
  const struct {
    const char* path;
    bool ok;
    std::vector<std::string> names;
  } cases[] = {
      {"", true, {}},
      {"A", true, {"A"}},
      {"A\\B\\C", true, {"A", "B", "C"}},
      {"A\\B\\", true, {"A", "B"}},
      {"Trovex\\Save", true, {"Trovex", "Save"}},
      {"\\A", false, {}},
      {"A\\\\B", false, {}},
      {"A\\B\\\\", false, {}},
      {"A\nB", false, {}},
      {"A/B", true, {"A/B"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<std::string> names;
    EXPECT_EQ(SplitKeyPath(c.path, &names), c.ok);
    if (c.ok) {
      EXPECT_EQ(names, c.names);
    }
  }
  std::vector<std::string> names;
  EXPECT_TRUE(SplitKeyPath(std::string(255, 'x'), &names));
  EXPECT_FALSE(SplitKeyPath(std::string(256, 'x'), &names));
}

TEST(Regedit4, Big5TrailBytesAreNeverSeparators) {
  ScopedLocale big5("zh_TW.BIG5");
  if (!big5.ok()) GTEST_SKIP() << "zh_TW.BIG5 locale not installed";
  // 許 = B3 5C, 功 = A5 5C.
  std::vector<std::string> names;
  ASSERT_TRUE(SplitKeyPath("\xB3\x5C\\\xA5\x5C", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"\xB3\x5C", "\xA5\x5C"}));

  RegKey root;
  root.SubkeyOrAdd("\xB3\x5C").values.push_back({"v", REG_SZ, Sz("\xA5\x5C")});
  const std::string text = SerializeRegedit4(root, "HKEY_CURRENT_USER");
  RegKey back;
  std::string error;
  ASSERT_TRUE(ParseRegedit4(text, "HKEY_CURRENT_USER", &back, &error)) << error;
  ASSERT_EQ(back.subkeys.size(), 1u);
  // Such a file, from before hives were UTF-8, is read as the characters it holds.
  EXPECT_EQ(back.subkeys[0].strName, "\xE8\xA8\xB1");                 // 許
  EXPECT_EQ(back.subkeys[0].FindValue("v")->data, Sz("\xE5\x8A\x9F"));  // 功
  // Trail bytes that look like letters are no letters: B3 61 and B3 41 are different names.
  std::string a, b;
  ASSERT_TRUE(NameToUtf8("Ab\xB3\x61", &a));
  ASSERT_TRUE(NameToUtf8("aB\xB3\x41", &b));
  EXPECT_FALSE(RegNamesEqual(a, b));
  EXPECT_TRUE(RegNamesEqual(a, "aB\xE8\xB1\x89"));
}

}  // namespace
}  // namespace trovex::reg
