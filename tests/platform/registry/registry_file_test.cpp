// The hive files under real conditions: other processes writing at the same time, writers
// killed half-way, damaged files, folders without write rights.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/test_seam.h"
#include "platform/registry/hive_file.h"
#include "platform/registry/regedit4.h"
#include "platform/registry/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

LSTATUS SetSz(HKEY h, const std::string& name, const std::string& text) {
  return RegSetValueExA(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

// The string value, or "<code>" when the read fails.
std::string GetSz(HKEY root, const std::string& path, const std::string& name) {
  HKEY h = nullptr;
  LSTATUS st = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h);
  if (st != ERROR_SUCCESS) return "<" + std::to_string(st) + ">";
  std::vector<BYTE> buf(1 << 16);
  DWORD size = static_cast<DWORD>(buf.size());
  st = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, buf.data(), &size);
  RegCloseKey(h);
  if (st != ERROR_SUCCESS) return "<" + std::to_string(st) + ">";
  return std::string(reinterpret_cast<char*>(buf.data()), size ? size - 1 : 0);
}

LSTATUS SetAt(HKEY root, const std::string& path, const std::string& name,
              const std::string& text) {
  HKEY h = nullptr;
  LSTATUS st = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &h, nullptr);
  if (st != ERROR_SUCCESS) return st;
  st = SetSz(h, name, text);
  RegCloseKey(h);
  return st;
}

std::vector<std::string> FilesIn(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path().string());
  return out;
}

class HiveFiles : public ::testing::Test {
 protected:
  test::IsolatedHome home_;
  std::string Dir() const { return home_.config() + "/kelvora-swf-trovex"; }
  std::string UserFile() const { return Dir() + "/user.reg"; }
};

TEST_F(HiveFiles, AChangeByAnotherProcessIsSeenByLaterReads) {
  ASSERT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\S", "v", "mine"), ERROR_SUCCESS);
  ASSERT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\S", "v"), "mine");  // now cached here
  auto child = test::RunInChild([] {
    return std::to_string(SetAt(HKEY_CURRENT_USER, "Software\\S", "v", "theirs")) +
           std::to_string(SetAt(HKEY_CURRENT_USER, "Software\\S", "w", "new"));
  });
  ASSERT_EQ(child.report, "00");
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\S", "v"), "theirs");
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\S", "w"), "new");
  // And a write of ours keeps what they wrote.
  ASSERT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\S", "x", "more"), ERROR_SUCCESS);
  EXPECT_NE(test::ReadFile(UserFile()).find("\"w\"=\"new\""), std::string::npos);
}

TEST_F(HiveFiles, ProcessesWritingAtOnceLoseNothing) {
  constexpr int kProcesses = 4;
  constexpr int kWrites = 20;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcesses; ++p) {
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kWrites; ++i)
        failures += SetAt(HKEY_CURRENT_USER, "Software\\Shared",
                          "p" + std::to_string(p) + "_" + std::to_string(i),
                          std::to_string(p * 1000 + i)) != ERROR_SUCCESS;
      _exit(failures);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed writes in a child";
  }
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\Shared",
                      "p" + std::to_string(p) + "_" + std::to_string(i)),
                std::to_string(p * 1000 + i));
}

TEST_F(HiveFiles, AWriterKilledAtAnyMomentNeverLeavesADamagedOrHalfWrittenHive) {
  // Values that must survive every kill, then a writer that keeps rewriting a large value.
  constexpr int kStable = 40;
  for (int i = 0; i < kStable; ++i)
    ASSERT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\Stable", "s" + std::to_string(i),
                    std::string(100, static_cast<char>('a' + i % 26))),
              ERROR_SUCCESS);
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> delayUs(0, 4000);
  int killedWhileRunning = 0;
  // A few rounds in CI; TROVEX_KILL_TRIALS=1000 for a long run by hand.
  const char* trials = std::getenv("TROVEX_KILL_TRIALS");
  const int rounds = trials && std::atoi(trials) > 0 ? std::atoi(trials) : 60;
  for (int round = 0; round < rounds; ++round) {
    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0;; ++i) {
        // The payload is derived from the counter, so a torn write would show.
        std::string n = std::to_string(round * 100000 + i);
        SetAt(HKEY_CURRENT_USER, "Software\\Busy", "counter", n);
        SetAt(HKEY_CURRENT_USER, "Software\\Busy", "payload", std::string(30000, n.back()) + n);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    killedWhileRunning += WIFSIGNALED(status);

    SCOPED_TRACE("round " + std::to_string(round));
    reg::RegKey root;
    std::string error;
    const std::string text = test::ReadFile(UserFile());
    ASSERT_TRUE(reg::ParseRegedit4(text, "HKEY_CURRENT_USER", &root, &error)) << error;
    const reg::RegKey* stable = root.Find({"Software", "Stable"});
    ASSERT_NE(stable, nullptr);
    ASSERT_EQ(stable->values.size(), static_cast<std::size_t>(kStable));
    if (const reg::RegKey* busy = root.Find({"Software", "Busy"})) {
      if (const reg::RegValue* payload = busy->FindValue("payload")) {
        std::string p = payload->data.substr(0, payload->data.size() - 1);
        ASSERT_GT(p.size(), 30000u);
        std::string n = p.substr(30000);
        EXPECT_EQ(p, std::string(30000, n.back()) + n);
      }
    }
  }
  EXPECT_EQ(killedWhileRunning, rounds);
  EXPECT_TRUE(FilesIn(Dir(), "user.reg.damaged").empty());
  // The hive is still usable after all that (a stale temporary file or lock does not matter).
  EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\Stable", "after", "ok"), ERROR_SUCCESS);
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\Stable", "s1"), std::string(100, 'b'));
}

TEST_F(HiveFiles, AHungLockHolderMakesWritesFailInsteadOfHanging) {
  ASSERT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\L", "v", "before"), ERROR_SUCCESS);
  int fd = open((UserFile() + ".lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);  // another "process" (a separate open file) holds it
  posix::ScopedFsTestSeam seam({std::chrono::milliseconds(200)});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\L", "v", "after"), ERROR_LOCK_VIOLATION);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\L", "v"), "before") << "reads need no lock";
  close(fd);
  EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\L", "v", "after"), ERROR_SUCCESS);
}

TEST_F(HiveFiles, ADamagedFileIsSetAsideReportedOnceAndNeverOverwritten) {
  const struct {
    const char* label;
    std::string content;
  } cases[] = {
      {"garbage", "this is not a registry file\n"},
      {"cut short", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\X]\n\"v\"=\"unfinish"},
      {"empty", ""},
      {"binary", std::string("\0\1\2REGEDIT4", 11)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::create_directories(Dir());
    for (const auto& f : FilesIn(Dir(), "user.reg")) fs::remove(f);
    home_.dir().WriteFile("config/kelvora-swf-trovex/user.reg", c.content);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), "<2>") << "reads as an empty hive";
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), "<2>");
    EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\X", "v", "fresh"), ERROR_SUCCESS);
    const std::string err = ::testing::internal::GetCapturedStderr();

    std::vector<std::string> aside = FilesIn(Dir(), "user.reg.damaged-");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(test::ReadFile(aside[0]), c.content) << "kept byte for byte";
    // One report, naming both files.
    EXPECT_NE(err.find(UserFile()), std::string::npos) << err;
    EXPECT_NE(err.find(aside[0]), std::string::npos) << err;
    EXPECT_EQ(err.find(UserFile()), err.rfind(UserFile() + "」")) << "reported once: " << err;
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), "fresh");
  }
}

// A hive that a dotfile manager links elsewhere stays a link: writes go to the file it leads
// to, and a damaged one is set aside beside that file, the link left for the fresh hive.
TEST_F(HiveFiles, ALinkedHiveStaysLinked) {
  const struct {
    const char* label;
    std::string content;
    bool damaged;
  } cases[] = {
      {"sound", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\X]\n\"v\"=\"old\"\n", false},
      {"damaged", "this is not a registry file\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    test::TempDir dotfiles;
    const std::string real = dotfiles.WriteFile("user.reg", c.content);
    fs::create_directories(Dir());
    fs::remove(UserFile());
    fs::create_symlink(real, UserFile());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), c.damaged ? "<2>" : "old");
    EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\X", "v", "new"), ERROR_SUCCESS);
    ::testing::internal::GetCapturedStderr();

    EXPECT_TRUE(fs::is_symlink(UserFile()));
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), "new");
    EXPECT_NE(test::ReadFile(real).find("\"new\""), std::string::npos);
    EXPECT_EQ(FilesIn(Dir(), "user.reg.damaged-").size(), 0u);
    std::vector<std::string> aside = FilesIn(dotfiles.str(), "user.reg.damaged-");
    ASSERT_EQ(aside.size(), c.damaged ? 1u : 0u);
    if (c.damaged) {
      EXPECT_EQ(test::ReadFile(aside[0]), c.content);
    }
  }
}

TEST_F(HiveFiles, ADamagedFileFoundByAWriterIsSetAsideToo) {
  home_.dir().WriteFile("config/kelvora-swf-trovex/user.reg", "REGEDIT4\n\n[BROKEN\n");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(SetAt(HKEY_CURRENT_USER, "Software\\X", "v", "1"), ERROR_SUCCESS);
  std::string err = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(FilesIn(Dir(), "user.reg.damaged-").size(), 1u);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "Software\\X", "v"), "1");
}

// Runs in a child without write rights (root drops to an unprivileged user; others rely on
// the modes), and reports the results of the calls that must be refused or must still work.
struct Rights {
  const char* label;
  bool folderWritable;
  bool fileWritable;
};

void PrepareRights(const std::string& dir, const std::string& file, const Rights& r) {
  const bool root = geteuid() == 0;
  // The child must be able to reach the folder at all.
  for (fs::path p = fs::path(dir).parent_path();
       p != p.root_path() && p != fs::temp_directory_path(); p = p.parent_path())
    chmod(p.c_str(), 0755);
  auto grant = [&](const std::string& path, bool writable, mode_t base) {
    if (root) {
      if (chown(path.c_str(), writable ? test::kUnprivilegedId : 0,
                writable ? test::kUnprivilegedId : 0) != 0)
        ADD_FAILURE() << "chown " << path;
      chmod(path.c_str(), base);
    } else {
      chmod(path.c_str(), writable ? base : (base & ~0222));
    }
  };
  grant(file, r.fileWritable, 0644);
  grant(dir, r.folderWritable, 0755);
}

class ReadOnlyHives : public HiveFiles, public ::testing::WithParamInterface<Rights> {};

TEST_P(ReadOnlyHives, WritesFailWithAccessDeniedAndReadsStillWork) {
  const Rights rights = GetParam();
  for (bool machine : {false, true}) {
    SCOPED_TRACE(machine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
    HKEY root = machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const std::string dir =
        (machine ? home_.data() : home_.config()) + "/kelvora-swf-trovex";
    const std::string file = dir + (machine ? "/machine.reg" : "/user.reg");
    ASSERT_EQ(SetAt(root, "Software\\Marrowick\\Kelvora SWF Zalmic", "Install Path", "/opt/z"),
              ERROR_SUCCESS);
    const std::string before = test::ReadFile(file);
    PrepareRights(dir, file, rights);

    auto child = test::RunInChild(
        [&] {
          std::string out;
          auto add = [&](LSTATUS st) { out += std::to_string(st) + " "; };
          HKEY h = nullptr;
          // Reading works.
          out += GetSz(root, "Software\\Marrowick\\Kelvora SWF Zalmic", "Install Path") + " ";
          add(RegOpenKeyExA(root, "Software\\Marrowick\\Kelvora SWF Zalmic", 0, KEY_READ, &h));
          RegCloseKey(h);
          // Opening for writing, creating, writing and deleting are refused.
          add(RegOpenKeyExA(root, "Software\\Marrowick\\Kelvora SWF Zalmic", 0,
                            KEY_READ | KEY_WRITE, &h));
          add(RegCreateKeyExA(root, "Software\\Marrowick\\Kelvora SWF Zalmic", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &h, nullptr));
          add(RegCreateKeyExA(root, "Software\\New", 0, nullptr, 0, KEY_READ, nullptr, &h,
                              nullptr));
          add(SetSz(root, "direct", "x"));
          add(RegDeleteTreeA(root, "Software\\Marrowick"));
          return out;
        },
        /*dropRoot=*/true);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_EQ(child.report, "/opt/z 0 5 5 5 5 5 ");
    EXPECT_EQ(test::ReadFile(file), before) << "the file is untouched";
    // Give the folder back for the next round and for clean-up.
    chmod(dir.c_str(), 0755);
    chmod(file.c_str(), 0644);
    if (geteuid() == 0) {
      chown(dir.c_str(), 0, 0);
      chown(file.c_str(), 0, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rights, ReadOnlyHives,
                         ::testing::Values(Rights{"folder", false, true},
                                           Rights{"file", true, false},
                                           Rights{"both", false, false}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(HiveFiles, ADamagedFileThatCannotBeMovedIsLeftAlone) {
  const std::string content = "definitely not REGEDIT4";
  home_.dir().WriteFile("config/kelvora-swf-trovex/user.reg", content);
  PrepareRights(Dir(), UserFile(), Rights{"both", false, false});
  auto child = test::RunInChild(
      [&] {
        ::testing::internal::CaptureStderr();
        std::string out = GetSz(HKEY_CURRENT_USER, "Software\\X", "v") + " " +
                          GetSz(HKEY_CURRENT_USER, "Software\\X", "v") + " " +
                          std::to_string(SetAt(HKEY_CURRENT_USER, "Software\\X", "v", "1"));
        std::string err = ::testing::internal::GetCapturedStderr();
        std::size_t first = err.find(UserFile());
        bool once = first != std::string::npos && err.find(UserFile(), first + 1) == std::string::npos;
        return out + (once ? " reported once" : " reported " + err);
      },
      /*dropRoot=*/true);
  EXPECT_EQ(child.report, "<2> <2> 5 reported once");
  EXPECT_EQ(test::ReadFile(UserFile()), content);
  EXPECT_TRUE(FilesIn(Dir(), "user.reg.damaged").empty());
}

}  // namespace
}  // namespace trovex
