// Opening a link: the desktop first, the associated browser next, the user told last.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "ui/logic/OpenTarget.h"

using namespace korvane;
namespace fs = std::filesystem;

namespace {

class FakeOpener : public ILinkOpener {
 public:
  int ShellOpen(std::string_view target) override {
    shellTargets.emplace_back(target);
    return shellResult;
  }
  std::string HtmlOpenCommand() override {
    ++associationAsked;
    return association;
  }
  int StartCommandLine(std::string_view commandLine) override {
    started.emplace_back(commandLine);
    return startResult;
  }
  int shellResult = 42;
  std::string association;
  int startResult = 33;
  int associationAsked = 0;
  std::vector<std::string> shellTargets;
  std::vector<std::string> started;
};

}  // namespace

TEST(OpenTarget, TheDesktopOpenerIsTriedFirst) {
  FakeOpener opener;
  const OpenTargetResult r = OpenLinkTarget("http://127.0.0.1:8086/", opener);
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(opener.shellTargets, std::vector<std::string>{"http://127.0.0.1:8086/"});
  EXPECT_EQ(opener.associationAsked, 0);
}

TEST(OpenTarget, AFailedOpenFallsBackToTheBrowserAssociation) {
  FakeOpener opener;
  opener.shellResult = 31;
  opener.association = "\"/opt/browser/bin/browser\" -osint -url \"%1\"";
  EXPECT_TRUE(OpenLinkTarget("http://x/", opener).opened);
  EXPECT_EQ(opener.started,
            std::vector<std::string>{"\"/opt/browser/bin/browser\" -osint -url  http://x/"});

  opener.startResult = 2;
  const OpenTargetResult failed = OpenLinkTarget("http://x/", opener);
  EXPECT_FALSE(failed.opened);
  EXPECT_EQ(failed.code, 2);  // the browser's start decides the message
  EXPECT_EQ(OpenLinkFailureText(failed.code),
            "Can't open link:\n\nThe specified file was not found.");
}

TEST(OpenTarget, WithoutAnAssociationTheShellErrorStands) {
  FakeOpener opener;
  opener.shellResult = 31;
  const OpenTargetResult r = OpenLinkTarget("http://x/", opener);
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.code, 31);
  EXPECT_TRUE(opener.started.empty());
  EXPECT_EQ(OpenLinkFailureText(r.code),
            "Can't open link:\n\nThere is no application associated\nwith the given filename "
            "extension.");
}

TEST(OpenTarget, TheCommandLineIsBounded) {
  FakeOpener opener;
  opener.shellResult = 2;
  opener.association = "browser %1";
  OpenLinkTarget("http://x/" + std::string(2000, 'a'), opener);
  ASSERT_EQ(opener.started.size(), 1u);
  EXPECT_EQ(opener.started[0].size(), 511u);
  EXPECT_EQ(opener.started[0].rfind("browser  http://x/aaa", 0), 0u);
}

TEST(OpenTarget, PlaceholderCutPrefersTheQuotedOne) {
  EXPECT_EQ(CutAtPagePlaceholder("\"C:\\b.exe\" \"%1\""), "\"C:\\b.exe\" ");
  EXPECT_EQ(CutAtPagePlaceholder("b.exe %1 -new"), "b.exe ");
  EXPECT_EQ(CutAtPagePlaceholder("b.exe %1 \"%1\""), "b.exe %1 ");
  EXPECT_EQ(CutAtPagePlaceholder("b.exe -nohome"), "b.exe -nohome");
}

TEST(OpenTarget, EveryShellCodeHasItsText) {
  EXPECT_EQ(ShellErrorText(0), "The operating system is out\nof memory or resources.");
  EXPECT_EQ(ShellErrorText(26), "A sharing violation occurred. ");
  EXPECT_EQ(ShellErrorText(32), "The specified dynamic-link library was not found.");
  EXPECT_EQ(ShellErrorText(1), "Unknown Error (1) occurred.");
  EXPECT_EQ(ShellErrorText(-7), "Unknown Error (-7) occurred.");
}

TEST(DesktopAssociation, ExecLinesBecomeCommandsWithThePagePlaceholder) {
  EXPECT_EQ(DesktopEntryCommand("[Desktop Entry]\nName=Web\nExec=firefox-esr %u\n"),
            "firefox-esr %1");
  EXPECT_EQ(DesktopEntryCommand("[Desktop Entry]\nExec=\"/opt/My Web/web\" --new %U %i %%x %F\n"),
            "\"/opt/My Web/web\" --new %1  %x");
  // Actions' Exec lines belong to other sections.
  EXPECT_EQ(DesktopEntryCommand("[Desktop Action new]\nExec=web --private %u\n"
                                "[Desktop Entry]\nExec=web %u\n"),
            "web %1");
  EXPECT_EQ(DesktopEntryCommand("[Desktop Entry]\nName=none\n"), "");
  EXPECT_EQ(DefaultDesktopEntry("[Added Associations]\ntext/html=a.desktop\n"
                                "[Default Applications]\ntext/plain=b.desktop\n"
                                "text/html = c.desktop;d.desktop;\n",
                                "text/html"),
            "c.desktop");
  EXPECT_EQ(DefaultDesktopEntry("[Default Applications]\ntext/htmlx=a.desktop\n", "text/html"), "");
}

TEST(DesktopAssociation, TheUsersDefaultBrowserIsFoundAlongTheXdgFolders) {
  const fs::path root = fs::path(std::getenv("HOME")) / "xdg-association";
  fs::remove_all(root);
  fs::create_directories(root / "config");
  fs::create_directories(root / "data/applications");
  fs::create_directories(root / "system/applications");
  std::ofstream(root / "config/mimeapps.list")
      << "[Default Applications]\ntext/html=missing.desktop;web.desktop\n";
  std::ofstream(root / "system/applications/web.desktop")
      << "[Desktop Entry]\nType=Application\nExec=web-browser %u\n";

  struct Env {
    const char* name;
    std::optional<std::string> old;
  } saved[] = {{"XDG_CONFIG_HOME", {}},
               {"XDG_CONFIG_DIRS", {}},
               {"XDG_DATA_HOME", {}},
               {"XDG_DATA_DIRS", {}}};
  for (Env& e : saved) {
    if (const char* v = std::getenv(e.name)) e.old = v;
  }
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (root / "none").c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root / "system").c_str(), 1);

  EXPECT_EQ(DesktopHtmlCommand(), "web-browser %1");
  // A user's own entry of the same name wins over the system's.
  std::ofstream(root / "data/applications/web.desktop") << "[Desktop Entry]\nExec=mine %U\n";
  EXPECT_EQ(DesktopHtmlCommand(), "mine %1");
  fs::remove(root / "config/mimeapps.list");
  EXPECT_EQ(DesktopHtmlCommand(), "");

  for (const Env& e : saved) {
    if (e.old)
      setenv(e.name, e.old->c_str(), 1);
    else
      unsetenv(e.name);
  }
  fs::remove_all(root);
}
