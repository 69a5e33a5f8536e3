#include "scan/swf_file_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovex {
namespace {

std::vector<std::string> Keys(const SWFFileList& list) {
  std::vector<std::string> keys;
  for (const auto& [key, info] : list) keys.push_back(key);
  return keys;
}

SWFFileInfo Movie(const std::string& url, const std::string& local, int size) {
  SWFFileInfo info;
  info.strURL = url;
  info.strLocalFile = local;
  info.strFileName = "x.swf";
  info.nSize = size;
  return info;
}

TEST(SWFFileList, LookingUpAnAbsentKeyInsertsTheInitialRecord) {
  SWFFileList list;
  SWFFileInfo& info = list["http://h/a.swf"];
  EXPECT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(info.strURL, "");
  EXPECT_EQ(info.strLocalFile, "");
  EXPECT_EQ(info.strFileName, "");
  EXPECT_EQ(info.strSavedPath, "");
  EXPECT_EQ(info.nSize, -1);
  EXPECT_EQ(info.bSaved, 0);
}

TEST(SWFFileList, StoringUnderAnExistingAddressReplacesTheWholeRecord) {
  SWFFileInfo first = Movie("http://h/a.swf", "/cache/a[1].swf", 10);
  first.strSavedPath = "/out/a.swf";
  first.bSaved = 1;
  // Stored as it is, or as a node made ready beforehand (as the scan's helper threads do).
  for (bool asNode : {false, true}) {
    SCOPED_TRACE(asNode ? "node" : "record");
    SWFFileList list;
    list.Store(first);
    if (asNode)
      list.Store(SWFFileList::MakeNode(Movie("http://h/a.swf", "", -1)));
    else
      list.Store(Movie("http://h/a.swf", "", -1));
    ASSERT_EQ(list.GetCount(), 1u);
    const SWFFileInfo& kept = list["http://h/a.swf"];
    EXPECT_EQ(kept.strLocalFile, "");
    EXPECT_EQ(kept.nSize, -1);
    EXPECT_EQ(kept.strSavedPath, "");
    EXPECT_EQ(kept.bSaved, 0);
  }
}

TEST(SWFFileList, WalksInCaseSensitiveUnsignedByteOrder) {
  SWFFileList list;
  // Page order differs from address order; a Big5 lead byte (0xB3) sorts after every ASCII byte.
  for (const char* url : {"http://h/b.swf", "http://h/\xB3\x5C.swf", "http://h/B.swf", "http://h/a.swf",
                          "http://h/A.swf"})
    list.Store(Movie(url, "", -1));
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"http://h/A.swf", "http://h/B.swf", "http://h/a.swf",
                                                  "http://h/b.swf", "http://h/\xB3\x5C.swf"}));
  for (const auto& [key, info] : list) EXPECT_EQ(key, info.strURL);
}

TEST(SWFFileList, RecordsStayValidWhileTheListGrowsAndClearEmptiesIt) {
  SWFFileList list;
  SWFFileInfo& held = list["http://h/m.swf"];
  for (int i = 0; i < 500; ++i) list.Store(Movie("http://h/" + std::to_string(i) + ".swf", "", i));
  held.bSaved = 1;
  held.strSavedPath = "/out/m.swf";
  EXPECT_EQ(list["http://h/m.swf"].bSaved, 1);
  EXPECT_EQ(list.GetCount(), 501u);
  list.RemoveAll();
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.begin(), list.end());
}

}  // namespace
}  // namespace trovex
