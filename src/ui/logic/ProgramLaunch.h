#pragma once
// Starting one of the maker's companion programs, or, when none of the places that may hold it
// does, opening a web page instead. Page script (window.external), the Help page's tool buttons
// and the device panels' install-driver link all go through here, so they agree on where a
// program may live and on what counts as "started".
#include <string>
#include <string_view>

#include "ui/logic/OpenTarget.h"

namespace korvane {

// Where a program is looked for, in this order. Empty fields take the running system's value.
struct ProgramPlaces {
  // The running executable's folder (with a trailing '/').
  std::string executableDirectory;
  // A product key such as "QMDriver": its "ExeName" under Software\Quillmark in the current
  // user's registry names an installed copy. Empty skips that place.
  std::string productKey;
  // The Program Files folder: "ProgramFilesDir" of the machine's Windows key, else /opt/.
  std::string programFilesDirectory;
};

enum class LaunchKind { Program, Browser, Nothing };

struct LaunchOutcome {
  LaunchKind kind = LaunchKind::Nothing;
  std::string path;  // the program started, or the page opened
  bool Started() const { return kind != LaunchKind::Nothing; }
};

// The file name a program is looked up under: ".exe" is appended unless the name already ends
// in it (any letter case). The platform layer drops it again when the file is looked up.
std::string ProgramFileName(std::string_view programName);
// The maker's sub-folder of Program Files for a program: the media player's own folder for a
// name containing "tunevale" (any case), the tools' folder otherwise.
std::string MakerFolderFor(std::string_view programName);
// The places actually searched: empty fields of `places` filled from the running system.
ProgramPlaces ResolvePlaces(const ProgramPlaces& places);
// The full path of the first place that holds the program, "" when none does.
std::string FindProgram(std::string_view programName, const ProgramPlaces& places);

// Starts a program found as above: the shell's "open" first, the plain program start when the
// shell refuses. When no place holds it or neither start works, opens `url` (if not empty)
// through `opener` (the desktop's web browser, then the program associated with web pages).
LaunchOutcome LaunchProgramOrOpen(std::string_view programName, std::string_view url,
                                  const ProgramPlaces& places, ILinkOpener& opener);

}  // namespace korvane
