// The string table and the pure parts of the dialog toolkit: texts, formatting, code pages,
// message-box icon rules, dialog-unit arithmetic and the template tables themselves.
#include <gtest/gtest.h>
#include <iconv.h>

#include <clocale>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "framework/dialog.h"
#include "framework/message_box.h"
#include "platform/text/res_text.h"
#include "res/messages.h"
#include "res/strings.h"
#include "res/templates.h"

namespace trovex {
namespace {

// Texts whose exact bytes are easy to get wrong: escapes, quotes, blanks, full-width signs.
const std::pair<unsigned, const char*> kTrickyTexts[] = {
    {32001, "檔案名稱\n尺寸\n狀態\nURL"},
    {32015, "SWF Zalmic Trovex無法啟動程式，請瀏覽安裝路徑並選擇現在執行檔案。 "},
    {50001, "檔案 \"%s\" 不存在,您要現在建立嗎?"},
    {57344, "SWF Zalmic Trovex"},
    {62104, "資料夾名稱中不能包含以下字符：\n\t \\ / :  * ? \" < > |。"},
    {62107, "您還沒有選擇要儲存的 Flash 影片。請單擊檔案前面的復選框來選中它。"},
};

class LocaleGuard {
 public:
  explicit LocaleGuard(const char* name) : old_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~LocaleGuard() { std::setlocale(LC_ALL, old_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string old_;
  bool ok_;
};

std::string Convert(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no iconv>";
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = out.data();
  size_t dstLeft = out.size();
  size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) return "<invalid>";
  out.resize(out.size() - dstLeft);
  return out;
}

TEST(StringTable, TrickyTextsAreExact) {
  LocaleGuard utf8("C.UTF-8");
  for (const auto& [id, text] : kTrickyTexts) {
    EXPECT_EQ(LoadResString(id), text) << "id " << id;
    EXPECT_EQ(LoadResStringUtf8(id), text) << "id " << id;
  }
}

TEST(StringTable, HoldsExactlyTheSystemsAndTheFrameworksIds) {
  std::set<unsigned> expected = {32000, 32001, 32002, 32003, 32004, 32005, 32006, 32007, 32009,
                                 32010, 32011, 32012, 32013, 32014, 32015, 50001, 50002, 57344,
                                 61716, 62104, 62105, 62106, 62107};
  for (unsigned id = 61856; id <= 61870; ++id) expected.insert(id);
  std::vector<unsigned> ids = ResStringIds();
  // Texts of our own sit above the given ids, clear of them.
  std::set<unsigned> given;
  for (unsigned id : ids) {
    if (id <= 62107)
      given.insert(id);
    else
      EXPECT_GE(id, 63000u) << id;
  }
  EXPECT_EQ(given, expected);
  EXPECT_FALSE(HasResString(32008));
  EXPECT_EQ(LoadResString(32008), "");
  EXPECT_EQ(LoadResString(0), "");
}

// Our own texts (63001 and up) each say something, and no two say the same: a text wanted twice
// keeps one id, so a later rewording cannot drift apart.
TEST(StringTable, OurTextsAreNonEmptyAndDistinct) {
  std::map<std::string, unsigned> seen;
  std::size_t ours = 0;
  for (unsigned id : ResStringIds()) {
    if (id < 63000) continue;
    ++ours;
    EXPECT_LT(id, 64000u) << id;
    const std::string text = LoadResStringUtf8(id);
    EXPECT_FALSE(text.empty()) << "id " << id;
    auto [at, fresh] = seen.emplace(text, id);
    EXPECT_TRUE(fresh) << "ids " << at->second << " and " << id << " share \"" << text << "\"";
  }
  // The browser's, the saving engine's and the rooms' own (63200 and up) are all there.
  EXPECT_GE(ours, 90u);
  for (unsigned id : {IDS_TROVEX_COM_MODULE_NOT_FOUND, IDS_TROVEX_SHELL_VIDEOS, IDS_TROVEX_BUTTON_NO,
                      IDS_TROVEX_BROWSER_PAGE_REFRESH, IDS_TROVEX_SAVE_ASK_CONFLICT})
    EXPECT_TRUE(HasResString(id)) << id;
}

// Placeholders decide what a caller must pass: a text of the table and its formatted use agree.
TEST(StringTable, OurFormatsTakeWhatTheirCallersPass) {
  LocaleGuard utf8("C.UTF-8");
  struct Case {
    std::string got, want;
  } cases[] = {
      {FormatResStringUtf8(IDS_TROVEX_COM_CLASS_NOT_IN_MODULE, "/m.so", "{X}", "0x80040111"),
       "模組 /m.so 不提供類別 {X}（0x80040111）"},
      {FormatResStringUtf8(IDS_TROVEX_SCRIPT_CALL_FAILED_WHY, "go", 0x80004005u, "why"),
       "呼叫 go 失敗（0x80004005）：why"},
      {FormatResStringUtf8(IDS_TROVEX_SCRIPT_ERROR_AT_LINE, "a.htm", 12), "（a.htm 第 12 行）"},
      {FormatResStringUtf8(IDS_TROVEX_PREVIEW_HTTP_FAILED, "http://h/m.swf", 404L),
       "無法下載影片：http://h/m.swf\nHTTP 404"},
      {FormatResString(IDS_TROVEX_REG_DAMAGED_HIVE_SET_ASIDE, "/u.reg", "bad", "/u.reg.1"),
       "Kelvora SWF Trovex：登錄檔「/u.reg」已損毀（bad），已改名保存為「/u.reg.1」。\n"},
      // An insert holding a conversion is taken as it is.
      {FormatResStringUtf8(IDS_TROVEX_SAVE_LINE_SKIPPED, "%s%n"), "略過\t%s%n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

// The system's message table: every code has its own wording.
TEST(SystemMessages, EveryCodeHasItsOwnText) {
  std::map<std::string, unsigned long> seen;
  const std::vector<unsigned long> codes = MessageTableCodes();
  EXPECT_GE(codes.size(), 90u);
  for (unsigned long code : codes) {
    const char* text = MessageTableUtf8(code);
    ASSERT_NE(text, nullptr) << code;
    EXPECT_NE(*text, '\0') << code;
    auto [at, fresh] = seen.emplace(text, code);
    EXPECT_TRUE(fresh) << "codes " << at->second << " and " << code << " share \"" << text << "\"";
  }
  EXPECT_STREQ(MessageTableUtf8(2), "找不到指定的檔案。");
  EXPECT_STREQ(MessageTableUtf8(12007), "無法解析伺服器名稱或位址。");
  EXPECT_EQ(MessageTableUtf8(7), nullptr);
}

TEST(StringTable, FileErrorMessagesNameTheFileExceptTheNoErrorOne) {
  for (unsigned id = 61857; id <= 61870; ++id) {
    std::string text = LoadResStringUtf8(id);
    EXPECT_NE(text.find("%1"), std::string::npos) << "id " << id;
    EXPECT_EQ(text.find("%s"), std::string::npos) << "id " << id;
  }
  EXPECT_EQ(LoadResStringUtf8(61856).find('%'), std::string::npos);
}

TEST(StringTable, Formatting) {
  LocaleGuard utf8("C.UTF-8");
  struct Case {
    std::string got, want;
  } cases[] = {
      {FormatString1(IDP_PARSE_STRING_SIZE, "255"), "請輸入不要超過 255 個字符。"},
      {FormatString1(IDP_FILE_ACCESS_DENIED, "/a/b.swf"), "存取 /a/b.swf 遭受拒絕。"},
      // The insert itself may hold "%1" or "%s"; it is not expanded again.
      {FormatString1(IDP_FILE_DISK_FULL, "%1%s"), "存取 %1%s 時磁碟已滿。"},
      {FormatResString(IDS_SAVE_FAILED, "a.swf", "拒絕"), "儲存檔案 'a.swf'失敗: 拒絕"},
      {FormatResString(IDS_DOWNLOAD_PROGRESS, "3 KB", "? KB"), "下載中... (3 KB of ? KB)"},
      {FormatResString(IDS_CREATE_DIR_QUESTION, "/x/y"), "檔案 \"/x/y\" 不存在,您要現在建立嗎?"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
  // A long insert is never cut.
  std::string longArg(5000, 'x');
  EXPECT_EQ(FormatResString(IDS_CREATE_DIR_FAILED, longArg.c_str()), "建立檔案失敗: " + longArg);
}

TEST(StringTable, EveryTextFitsTheBig5CodePage) {
  LocaleGuard big5("zh_TW.BIG5");
  if (!big5.ok()) GTEST_SKIP() << "zh_TW.BIG5 locale not installed";
  for (unsigned id : ResStringIds()) {
    std::string local = LoadResString(id);
    EXPECT_EQ(local.find('?') == std::string::npos, LoadResStringUtf8(id).find('?') == std::string::npos)
        << "id " << id << " has a character Big5 cannot hold";
    EXPECT_EQ(Convert(local, "BIG5", "UTF-8"), LoadResStringUtf8(id)) << "id " << id;
  }
  // Formatting works on the code page's bytes: 許 ends in 0x5C, which must survive.
  std::string dir = Convert("C:\\許\\", "UTF-8", "BIG5");
  EXPECT_EQ(Convert(FormatResString(IDS_CREATE_DIR_QUESTION, dir.c_str()), "BIG5", "UTF-8"),
            "檔案 \"C:\\許\\\" 不存在,您要現在建立嗎?");
}

TEST(MessageBoxStyle, IconRules) {
  struct Case {
    unsigned in, out;
  } cases[] = {
      {MB_OK, MB_OK | MB_ICONEXCLAMATION},
      {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION},
      {MB_YESNO, MB_YESNO | MB_ICONQUESTION},
      {MB_YESNOCANCEL, MB_YESNOCANCEL | MB_ICONQUESTION},
      {MB_OK | MB_ICONINFORMATION, MB_OK | MB_ICONINFORMATION},
      {MB_OK | MB_ICONERROR, MB_OK | MB_ICONERROR},
      {MB_YESNO | MB_ICONERROR, MB_YESNO | MB_ICONERROR},
      {0x40, 0x40},
  };
  for (const auto& c : cases) EXPECT_EQ(EffectiveMessageBoxStyle(c.in), c.out) << std::hex << c.in;
}

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
  struct Case {
    int a, b, c, want;
  } cases[] = {{0, 7, 4, 0},  {1, 6, 4, 2},   {1, 7, 4, 2},   {3, 7, 4, 5},  {2, 7, 4, 4},
               {1, 13, 8, 2}, {-1, 6, 4, -2}, {-3, 7, 4, -5}, {5, 6, -4, -8}, {7, 1, 0, -1}};
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
  // The product is formed in 64 bits.
  EXPECT_EQ(MulDiv(100000, 30000, 100000), 30000);
  EXPECT_EQ(MulDiv(2000000, 3000, 4000), 1500000);
}

TEST(DialogUnits, RectanglesKeepNeighboursAdjoining) {
  const DialogBaseUnits base{7, 19};
  struct Case {
    wxRect dlu, px;
  } cases[] = {
      {wxRect(0, 0, 4, 8), wxRect(0, 0, 7, 19)},
      {wxRect(7, 7, 265, 57), wxRect(12, 17, 464, 135)},
      {wxRect(23, 19, 207, 10), wxRect(40, 45, 363, 24)},
      {wxRect(165, 141, 50, 14), wxRect(289, 335, 87, 33)},
  };
  for (const auto& c : cases) EXPECT_EQ(DialogUnitsToPixels(c.dlu, base), c.px) << c.dlu.x << "," << c.dlu.y;
  // Two controls that touch in dialog units touch in pixels, whatever the rounding.
  for (int x = 0; x < 40; ++x) {
    wxRect a = DialogUnitsToPixels(wxRect(x, x, 13, 9), base);
    wxRect b = DialogUnitsToPixels(wxRect(x + 13, x + 9, 5, 5), base);
    EXPECT_EQ(a.GetRight() + 1, b.GetLeft());
    EXPECT_EQ(a.GetBottom() + 1, b.GetTop());
  }
}

TEST(Templates, EveryDialogIsWellFormed) {
  EXPECT_EQ(DialogTemplateIds(), (std::vector<int>{1000, 1001, 1007, 1008, 1009}));
  for (int id : DialogTemplateIds()) {
    const DialogTemplate* dlg = FindDialogTemplate(id);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->nId, id);
    std::set<int> ids;
    int defaults = 0;
    for (const auto& ct : dlg->controls) {
      if (ct.nId != IDC_STATIC) {
        EXPECT_TRUE(ids.insert(ct.nId).second) << id << ": id " << ct.nId << " twice";
      }
      EXPECT_GE(ct.x, 0);
      EXPECT_GE(ct.y, 0);
      EXPECT_LE(ct.x + ct.cx, dlg->cx) << id << ": control " << ct.nId << " leaves the dialog";
      EXPECT_LE(ct.y + ct.cy, dlg->cy) << id << ": control " << ct.nId << " leaves the dialog";
      if (ct.style & TS_DEFAULT) ++defaults;
    }
    EXPECT_LE(defaults, 1) << id;
  }
  EXPECT_EQ(FindDialogTemplate(1002), nullptr);
}

TEST(Templates, RadioGroupsStartWhereTheDialogsSay) {
  // Only the radio buttons that start a group carry the group mark.
  const DialogTemplate& settings = *FindDialogTemplate(1008);
  EXPECT_TRUE(FindControlTemplate(settings, 1010)->style & TS_GROUP);
  EXPECT_FALSE(FindControlTemplate(settings, 1011)->style & TS_GROUP);
  EXPECT_TRUE(FindControlTemplate(settings, 1018)->style & TS_GROUP);
  for (int id : {1019, 1020, 1021}) EXPECT_FALSE(FindControlTemplate(settings, id)->style & TS_GROUP);
}

TEST(Templates, MenuCommandsFitTheToolkitsIdRange) {
  for (int id : {ID_DIR_DEFAULT, ID_DIR_LAST, ID_DIR_BROWSE, 0x8000, 0x9FFE}) {
    EXPECT_LT(WxCommandId(id), 0x7FFF) << id;
    EXPECT_EQ(CommandIdFromWx(WxCommandId(id)), id) << id;
  }
  // Control ids pass unchanged both ways.
  for (int id : {1, 2, 1000, 1044, 4096}) {
    EXPECT_EQ(WxCommandId(id), id);
    EXPECT_EQ(CommandIdFromWx(id), id);
  }
  const MenuTemplate* menu = FindMenuTemplate(IDR_DIRECTORY_MENU);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->popups.size(), 1u);
  EXPECT_EQ(FindMenuTemplate(IDD_SAVE), nullptr);
}

TEST(Templates, DisplayTextDropsMnemonicMarkers) {
  EXPECT_EQ(DisplayText("儲存(&S)"), "儲存(S)");
  EXPECT_EQ(DisplayText("a&&b"), "a&b");
  EXPECT_EQ(DisplayText("&&&x"), "&x");
  EXPECT_EQ(DisplayText(nullptr), "");
}

}  // namespace
}  // namespace trovex
