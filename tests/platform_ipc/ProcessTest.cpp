#include "platform/Process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace {

using Args = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string kHelper = ipc_test::HelperPath();

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Started programs run on their own; give them time to write what the test expects.
std::string WaitForContent(const fs::path& path, const std::string& expected) {
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text = ReadFile(path);
    if (text == expected) break;
    usleep(10000);
  }
  return text;
}

class ScratchDir {
 public:
  ScratchDir() {
    const char* home = std::getenv("HOME");
    path_ = fs::path(home != nullptr ? home : "/tmp") / ("process-" + std::to_string(getpid()) +
                                                         "-" + std::to_string(++counter_));
    fs::create_directories(path_);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  const fs::path& Path() const { return path_; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

class EnvOverride {
 public:
  EnvOverride(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvOverride() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(RunProgramAndWaitTest, ReportsExitStatusAndStartFailures) {
  EXPECT_EQ(platform::RunProgramAndWait(kHelper, {"exit", "0"}), 0);
  EXPECT_EQ(platform::RunProgramAndWait(kHelper, {"exit", "3"}), 3);
  EXPECT_EQ(platform::RunProgramAndWait(kHelper, {"exit", "255"}), 255);
  EXPECT_EQ(platform::RunProgramAndWait(kHelper, {"kill-self"}), 128 + 9);
  // The Windows name of the program finds the Linux file.
  EXPECT_EQ(platform::RunProgramAndWait(kHelper + ".exe", {"exit", "7"}), 7);
  // Bare names are found along PATH.
  EXPECT_EQ(platform::RunProgramAndWait("true", {}), 0);
  EXPECT_EQ(platform::RunProgramAndWait("false", {}), 1);

  EXPECT_EQ(platform::RunProgramAndWait(kHelper + "-missing", {}), -1);
  EXPECT_EQ(platform::RunProgramAndWait("korvane-no-such-program", {}), -1);
  EXPECT_EQ(platform::RunProgramAndWait("", {}), -1);
  EXPECT_EQ(platform::RunProgramAndWait(KORVANE_BIN_DIR, {}), -1) << "a folder is no program";
  EXPECT_EQ(platform::RunProgramAndWait(kHelper, {std::string("a\0b", 3)}), -1);
}

TEST(StartProgramTest, PassesArgumentsVerbatimAndStartsInTheFolderAsked) {
  ScratchDir dir;
  const Args args{"write-args", "out.txt", "two words", "", "quote\"d", "*", "$HOME"};
  const int pid = platform::StartProgram(kHelper, args, dir.Path().string());
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(dir.Path() / "out.txt"), "[two words]\n[]\n[quote\"d]\n[*]\n[$HOME]\n");

  EXPECT_EQ(platform::StartProgram(kHelper + "-missing", {}), -1);
  EXPECT_EQ(platform::StartProgram(kHelper, {}, (dir.Path() / "no-such-folder").string()), -1);
}

TEST(StartProgramTest, RelativePathsMeanOurFolderNotTheChildOne) {
  ScratchDir dir;
  const fs::path old = fs::current_path();
  fs::current_path(KORVANE_BIN_DIR);
  const int pid = platform::StartProgram("./platform_ipc_helper", {"write-args", "out.txt", "x"},
                                         dir.Path().string());
  fs::current_path(old);
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(ReadFile(dir.Path() / "out.txt"), "[x]\n");
}

TEST(SplitCommandLineTest, FollowsTheWindowsArgumentRules) {
  struct Case {
    const char* text;
    Args expected;
  };
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"6 3.0.603.1 1", {"6", "3.0.603.1", "1"}},
      {"  a   b  ", {"a", "b"}},
      {R"("C:\Program Files\x" /s)", {R"(C:\Program Files\x)", "/s"}},
      {R"(a"b c"d e)", {"ab cd", "e"}},
      {R"("" x)", {"", "x"}},
      {R"("unterminated quote)", {"unterminated quote"}},
      {R"(a\\b)", {R"(a\\b)"}},
      {R"(a\"b)", {R"(a"b)"}},
      {R"(a\\"b c")", {R"(a\b c)"}},
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("dir\\" next)", {R"(dir\)", "next"}},
      {R"("say ""hi""")", {R"(say "hi")"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::SplitCommandLine(c.text), c.expected) << c.text;
  }
}

class ShellOpenTest : public ::testing::Test {
 protected:
  // A PATH holding only our own stand-in opener (or nothing), so the outcome does not depend
  // on what the machine has installed.
  void InstallOpener(const fs::path& log) {
    const fs::path opener = bin_.Path() / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << log.string() << "'\n";
    fs::permissions(opener, fs::perms::owner_all);
  }
  ScratchDir bin_;
  ScratchDir work_;
};

TEST_F(ShellOpenTest, WithoutAnOpenerDocumentsAndUrlsHaveNoAssociation) {
  EnvOverride path("PATH", bin_.Path().string());
  EXPECT_FALSE(platform::OpenWithDesktop("https://example.org/"));
  EXPECT_EQ(platform::ShellOpen("https://example.org/"), 31);
  std::ofstream(work_.Path() / "page.htm") << "<html></html>";
  EXPECT_EQ(platform::ShellOpen((work_.Path() / "page.htm").string()), 31);
  EXPECT_EQ(platform::ShellOpen((work_.Path() / "missing.htm").string()), 2);
  EXPECT_EQ(platform::ShellOpen(""), 2);
}

TEST_F(ShellOpenTest, UrlsAndDocumentsGoToTheOpener) {
  const fs::path log = work_.Path() / "opened.txt";
  InstallOpener(log);
  EnvOverride path("PATH", bin_.Path().string());

  const std::string url = "https://example.org/a?b=c&d";
  EXPECT_GT(platform::ShellOpen(url), 32);
  EXPECT_EQ(WaitForContent(log, url + "\n"), url + "\n");

  fs::remove(log);
  const fs::path doc = work_.Path() / "page.htm";
  std::ofstream(doc) << "<html></html>";
  EXPECT_GT(platform::ShellOpen(doc.string()), 32);
  EXPECT_EQ(WaitForContent(log, doc.string() + "\n"), doc.string() + "\n");

  // Something that looks like an option to the opener is passed as a path instead.
  fs::remove(log);
  EXPECT_TRUE(platform::OpenWithDesktop("--help"));
  EXPECT_EQ(WaitForContent(log, "./--help\n"), "./--help\n");
}

TEST_F(ShellOpenTest, ProgramsStartWithSplitParameters) {
  const fs::path out = work_.Path() / "args.txt";
  const int result = platform::ShellOpen(kHelper + ".exe",
                                         "write-args \"" + out.string() + "\" 6 \"two words\"");
  EXPECT_GT(result, 32);
  EXPECT_EQ(WaitForContent(out, "[6]\n[two words]\n"), "[6]\n[two words]\n");
  EXPECT_EQ(platform::ShellOpen(kHelper + "-missing.exe"), 2);
  EXPECT_EQ(platform::ShellOpen("korvane-no-such-program.exe"), 2);
}

}  // namespace
