// The file object: modes, sharing, length and the exceptions it raises.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/fs/file.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(CFile, WriteReadAndLength) {
  TempDir dir;
  std::string path = dir.str() + "/movie.swf";
  {
    CFile out(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive |
                                CFile::typeBinary);
    out.Write("FWS\x09", 4);
    out.Write("body", 4);
    out.Flush();
    EXPECT_EQ(out.GetLength(), 8u);
    out.Close();
    EXPECT_FALSE(out.IsOpen());
  }
  CFile in;
  ASSERT_TRUE(in.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
  char buffer[16];
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 8u);
  EXPECT_EQ(std::string(buffer, 8), std::string("FWS\x09" "body", 8));
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(in.GetFilePath(), path);

  // modeCreate truncates, modeNoTruncate keeps.
  { CFile keep(path.c_str(), CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite); }
  EXPECT_EQ(ReadFile(path).size(), 8u);
  { CFile cut(path.c_str(), CFile::modeCreate | CFile::modeWrite); }
  EXPECT_EQ(ReadFile(path).size(), 0u);
}

struct OpenFailure {
  const char* name;
  std::string path;
  UINT flags;
  int cause;
  LONG os_error;
};

TEST(CFile, OpenFailuresCarryCauseAndCode) {
  TempDir dir;
  dir.WriteFile("file", "x");
  const OpenFailure cases[] = {
      {"missing", dir.str() + "/missing", CFile::modeRead, CFileException::fileNotFound, 2},
      {"missing folder", dir.str() + "/no/file", CFile::modeCreate | CFile::modeWrite,
       CFileException::badPath, 3},
      {"folder", dir.str(), CFile::modeRead, CFileException::accessDenied, 5},
      {"empty name", "", CFile::modeRead, CFileException::badPath, 3},
  };
  for (const auto& c : cases) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(c.path.c_str(), c.flags, &error)) << c.name;
    EXPECT_EQ(error.m_cause, c.cause) << c.name;
    EXPECT_EQ(error.m_lOsError, c.os_error) << c.name;
    EXPECT_EQ(error.m_strFileName, c.path) << c.name;
    EXPECT_EQ(error.GetErrorStringId(), 61856u + static_cast<unsigned>(c.cause)) << c.name;
    EXPECT_FALSE(file.IsOpen());
    // The throwing constructor raises the same.
    try {
      CFile thrown(c.path.c_str(), c.flags);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const CFileException& e) {
      EXPECT_EQ(e.m_cause, c.cause) << c.name;
    }
  }
}

TEST(CFile, SharingIsEnforcedBetweenFileObjects) {
  TempDir dir;
  std::string path = dir.WriteFile("shared.swf", "precious");
  CFile holder(path.c_str(), CFile::modeRead | CFile::shareDenyWrite);
  // Another reader that only denies writing may share.
  CFile reader;
  EXPECT_TRUE(reader.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
  // An exclusive writer is refused, and its truncating open must not touch the data.
  CFile writer;
  CFileException error;
  EXPECT_FALSE(writer.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite |
                                             CFile::shareExclusive, &error));
  EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
  EXPECT_EQ(error.m_lOsError, 32);
  EXPECT_EQ(ReadFile(path), "precious");
  holder.Close();
  reader.Close();
  EXPECT_TRUE(writer.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite |
                                            CFile::shareExclusive));
  EXPECT_EQ(ReadFile(path), "");
}

TEST(CFile, WrongDirectionAndClosedFileRaise) {
  TempDir dir;
  std::string path = dir.WriteFile("f", "abc");
  CFile file(path.c_str(), CFile::modeRead);
  EXPECT_THROW(file.Write("x", 1), CFileException);
  file.Close();
  char c;
  try {
    file.Read(&c, 1);
    ADD_FAILURE() << "read on a closed file";
  } catch (const CFileException& e) {
    EXPECT_EQ(e.m_cause, CFileException::invalidFile);
  }
}

// Only regular files open, and opening never waits: a FIFO without a writer would otherwise
// hang whoever measures or copies it.
TEST(CFile, RefusesWhatIsNotARegularFileWithoutBlocking) {
  TempDir dir;
  std::string fifo = dir.str() + "/pipe.swf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.str()}) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite, &error)) << path;
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << path;
  }
}

}  // namespace
}  // namespace trovex
