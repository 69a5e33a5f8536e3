// Hive files that are not what they should be: a FIFO, a link to an endless device, a huge
// file. Reads must come back at once with nothing, and writes must not replace them.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry/hive_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

TEST(HostileHive, ReadsNeverBlockOrGrowAndWritesKeepTheIntruder) {
  const test::TempDir devices;
  enum class Kind { kFifo, kDevZero, kHuge };
  struct Case {
    const char* name;
    Kind kind;
    LSTATUS write;
  } cases[] = {{"fifo", Kind::kFifo, ERROR_ACCESS_DENIED},
               {"link to /dev/zero", Kind::kDevZero, ERROR_ACCESS_DENIED},
               {"20 MB", Kind::kHuge, ERROR_REGISTRY_CORRUPT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    const std::string hive = reg::UserHivePath();
    fs::create_directories(fs::path(hive).parent_path());
    switch (c.kind) {
      case Kind::kFifo: ASSERT_EQ(::mkfifo(hive.c_str(), 0600), 0); break;
      case Kind::kDevZero: fs::create_symlink(test::ZeroDevice(devices.path()), hive); break;
      case Kind::kHuge: {
        std::ofstream out(hive);
        out << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n";
        out << "\"v\"=\"" << std::string(20 << 20, 'x') << "\"\n";
      } break;
    }
    auto start = std::chrono::steady_clock::now();
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_SUCCESS);
    HKEY created = nullptr;
    LSTATUS write = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_WRITE,
                                    nullptr, &created, nullptr);
    if (created) RegCloseKey(created);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(write, c.write);
    struct stat st {};
    ASSERT_EQ(::lstat(hive.c_str(), &st), 0);
    if (c.kind == Kind::kFifo) {
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    if (c.kind == Kind::kDevZero) {
      EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
  }
}

}  // namespace
}  // namespace trovex
