// Finding and starting the maker's companion programs, with the web page as the last resort.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "ui/logic/ProgramLaunch.h"

using namespace korvane;
namespace fs = std::filesystem;

namespace {

// Records every attempt; programs "start" unless listed as refusing.
class RecordingOpener : public ILinkOpener {
 public:
  int ShellOpen(std::string_view target) override {
    shellTargets.emplace_back(target);
    if (target.rfind("http", 0) == 0) return browserWorks ? 42 : 31;
    for (const std::string& r : refusing) {
      if (target == r) return 5;
    }
    return 42;
  }
  std::string HtmlOpenCommand() override { return association; }
  int StartCommandLine(std::string_view commandLine) override {
    started.emplace_back(commandLine);
    for (const std::string& r : refusing) {
      if (commandLine.find(r) != std::string_view::npos) return 2;
    }
    return 33;
  }
  bool browserWorks = true;
  std::string association;
  std::vector<std::string> refusing;
  std::vector<std::string> shellTargets;
  std::vector<std::string> started;
};

class ProgramLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(KORVANE_TEST_HOME) / ("launch-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "opt");
    places_.executableDirectory = (root_ / "bin").string() + "/";
    places_.programFilesDirectory = (root_ / "opt").string();
  }
  void TearDown() override {
    platform::RegistryKey key;
    if (key.Open(platform::RegRoot::CurrentUser, "Software\\Quillmark\\QMDriver",
                 platform::RegAccess::Write) == platform::kRegOk) {
      (void)key.DeleteValue("ExeName");
    }
    fs::remove_all(root_);
  }
  // An executable script that leaves `marker` behind when it runs.
  std::string MakeProgram(const fs::path& path, const fs::path& marker) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\necho started > '" << marker.string() << "'\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }
  static bool WaitFor(const fs::path& file) {
    for (int i = 0; i < 100 && !fs::exists(file); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return fs::exists(file);
  }

  fs::path root_;
  ProgramPlaces places_;
};

}  // namespace

TEST(ProgramFileName, ExeIsAppendedUnlessAlreadyThereInAnyCase) {
  EXPECT_EQ(ProgramFileName("qmdriver"), "qmdriver.exe");
  EXPECT_EQ(ProgramFileName("QMUpdate.EXE"), "QMUpdate.EXE");
  EXPECT_EQ(ProgramFileName("tool.eXe"), "tool.eXe");
  EXPECT_EQ(ProgramFileName("tool.exe.sh"), "tool.exe.sh.exe");
  EXPECT_EQ(ProgramFileName("exe"), "exe.exe");
  EXPECT_EQ(MakerFolderFor("TuneVale_Player"), "Quillmark/Tunevale/");
  EXPECT_EQ(MakerFolderFor("qmdriver"), "Quillmark/Wandlet/");
}

TEST_F(ProgramLaunch, AProgramInTheExecutableFolderReallyStarts) {
  const fs::path marker = root_ / "ran";
  MakeProgram(root_ / "bin" / "qmtool", marker);
  const LaunchOutcome outcome =
      LaunchProgramOrOpen("qmtool", "http://127.0.0.1:8086/", places_, DesktopLinkOpener());
  EXPECT_EQ(outcome.kind, LaunchKind::Program);
  EXPECT_EQ(outcome.path, (root_ / "bin" / "qmtool").string());
  EXPECT_TRUE(WaitFor(marker));
}

TEST_F(ProgramLaunch, PlacesAreSearchedInOrder) {
  MakeProgram(root_ / "opt" / "Quillmark" / "Wandlet" / "qmdriver", root_ / "m1");
  MakeProgram(root_ / "elsewhere" / "qmdriver", root_ / "m2");
  places_.productKey = "QMDriver";
  EXPECT_EQ(FindProgram("qmdriver.exe", places_),
            (root_ / "opt/Quillmark/Wandlet/qmdriver").string());

  platform::RegistryKey key;
  ASSERT_EQ(key.Create(platform::RegRoot::CurrentUser, "Software\\Quillmark\\QMDriver"),
            platform::kRegOk);
  ASSERT_EQ(key.SetString("ExeName", (root_ / "elsewhere" / "qmdriver.exe").string()),
            platform::kRegOk);
  EXPECT_EQ(FindProgram("qmdriver.exe", places_), (root_ / "elsewhere/qmdriver").string());
  // Without the product key the registered copy is not looked at.
  places_.productKey.clear();
  EXPECT_EQ(FindProgram("qmdriver", places_), (root_ / "opt/Quillmark/Wandlet/qmdriver").string());

  MakeProgram(root_ / "bin" / "qmdriver", root_ / "m3");
  EXPECT_EQ(FindProgram("QMDRIVER", places_), "");  // names are case-sensitive on this system
  EXPECT_EQ(FindProgram("qmdriver", places_), (root_ / "bin/qmdriver").string());

  MakeProgram(root_ / "opt" / "Quillmark" / "Tunevale" / "tunevale", root_ / "m4");
  EXPECT_EQ(FindProgram("tunevale", places_), (root_ / "opt/Quillmark/Tunevale/tunevale").string());
}

TEST_F(ProgramLaunch, AProgramThatWillNotStartGivesWayToTheNextPlace) {
  const std::string own = MakeProgram(root_ / "bin" / "qmupdate", root_ / "m1");
  const std::string installed =
      MakeProgram(root_ / "opt" / "Quillmark" / "Wandlet" / "qmupdate", root_ / "m2");
  RecordingOpener opener;
  opener.refusing = {own};
  const LaunchOutcome outcome =
      LaunchProgramOrOpen("qmupdate", "http://127.0.0.1:8086/x", places_, opener);
  EXPECT_EQ(outcome.kind, LaunchKind::Program);
  EXPECT_EQ(outcome.path, installed);
  // The shell was asked first, then the plain start, for the copy that refused.
  EXPECT_EQ(opener.shellTargets, (std::vector<std::string>{own, installed}));
  EXPECT_EQ(opener.started, std::vector<std::string>{"\"" + own + "\""});
}

TEST_F(ProgramLaunch, AnAbsentProgramOpensThePageOrReportsNothingStarted) {
  RecordingOpener opener;
  LaunchOutcome outcome =
      LaunchProgramOrOpen("qmdriver", "http://127.0.0.1:8086/forum", places_, opener);
  EXPECT_EQ(outcome.kind, LaunchKind::Browser);
  EXPECT_EQ(outcome.path, "http://127.0.0.1:8086/forum");
  EXPECT_EQ(opener.shellTargets, std::vector<std::string>{"http://127.0.0.1:8086/forum"});

  opener.browserWorks = false;
  opener.association = "/usr/bin/somebrowser \"%1\"";
  outcome = LaunchProgramOrOpen("qmdriver", "http://127.0.0.1:8086/forum", places_, opener);
  EXPECT_EQ(outcome.kind, LaunchKind::Browser);
  EXPECT_EQ(opener.started.back(), "/usr/bin/somebrowser  http://127.0.0.1:8086/forum");

  opener.association.clear();
  outcome = LaunchProgramOrOpen("qmdriver", "http://127.0.0.1:8086/forum", places_, opener);
  EXPECT_EQ(outcome.kind, LaunchKind::Nothing);
  EXPECT_FALSE(outcome.Started());
  EXPECT_EQ(LaunchProgramOrOpen("qmdriver", "", places_, opener).kind, LaunchKind::Nothing);
}

TEST_F(ProgramLaunch, PageScriptCannotReachOutsideTheFoldersOrOpenLocalFiles) {
  MakeProgram(root_ / "outside", root_ / "m1");
  MakeProgram(root_ / "bin" / "sub" / "tool", root_ / "m2");
  RecordingOpener opener;
  for (const char* name : {"../outside", "sub/tool", "..", "", "sub\\tool"}) {
    EXPECT_EQ(FindProgram(name, places_), "") << name;
    EXPECT_EQ(LaunchProgramOrOpen(name, "", places_, opener).kind, LaunchKind::Nothing) << name;
  }
  EXPECT_EQ(FindProgram((root_ / "outside").string(), places_), "");
  for (const char* url :
       {"file:///etc/passwd", "javascript:alert(1)", "/usr/bin/xterm", "smb://host/x"}) {
    EXPECT_EQ(LaunchProgramOrOpen("absent", url, places_, opener).kind, LaunchKind::Nothing) << url;
  }
  EXPECT_TRUE(opener.shellTargets.empty());
  EXPECT_EQ(LaunchProgramOrOpen("absent", "HTTPS://127.0.0.1/", places_, opener).kind,
            LaunchKind::Browser);
}
