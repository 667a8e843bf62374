#pragma once
// Opening a link's target: the desktop's opener first; when that fails, the program that the
// machine associates with web pages, started directly with the target; when that fails too,
// the user is told why in the shell's own words.
#include <string>
#include <string_view>

namespace korvane {

// The three ways a target can be opened; tests replace them.
class ILinkOpener {
 public:
  virtual ~ILinkOpener() = default;
  // The shell's "open": above 32 is success, else a shell error code.
  virtual int ShellOpen(std::string_view target) = 0;
  // The command line that opens a web page, with "%1" where the page goes; empty when the
  // machine associates no program with web pages.
  virtual std::string HtmlOpenCommand() = 0;
  // Starts a command line (program and parameters): above 31 is success, else an error code.
  virtual int StartCommandLine(std::string_view commandLine) = 0;
};

// The opener of this machine: platform::ShellOpen; the ".htm" association of the classes
// root, else the desktop's default application for text/html; platform::StartProgram.
ILinkOpener& DesktopLinkOpener();

struct OpenTargetResult {
  bool opened = false;
  int code = 0;  // the last attempt's result
};
OpenTargetResult OpenLinkTarget(std::string_view target, ILinkOpener& opener);

// The association's command cut where the page would go: at the opening quote of the first
// quoted "%1", else at the first bare %1; the whole command when it names no %1.
std::string CutAtPagePlaceholder(std::string_view command);
// The shell's explanation of an error code, and the whole text of the box after a failure.
std::string ShellErrorText(int code);
std::string OpenLinkFailureText(int code);

// The desktop entry (e.g. "firefox-esr.desktop") named for a MIME type in a mimeapps.list
// text: the first of its [Default Applications] list; empty when none.
std::string DefaultDesktopEntry(std::string_view mimeappsList, std::string_view mimeType);
// The Exec line of a desktop entry's text as a command with "%1" for the page: the first
// file or URL field code becomes %1, the other field codes are dropped, %% is a percent sign.
std::string DesktopEntryCommand(std::string_view desktopEntry);
// The command of the desktop's default program for web pages, found along the XDG folders.
std::string DesktopHtmlCommand();

}  // namespace korvane
