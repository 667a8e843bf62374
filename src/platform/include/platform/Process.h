#pragma once
// Starting programs and opening documents, in place of CreateProcess and ShellExecute.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Starts a program (path through MapFileName) with its arguments, no shell involved; does not
// wait. Returns the process id, or -1 when it could not be started. A bare name is looked up
// along PATH; a relative path means the caller's current folder. The platform reaps the
// process after it ends (during a later start), so it never lingers as a zombie; a caller
// that needs the exit status uses RunProgramAndWait.
int StartProgram(std::string_view path, const std::vector<std::string>& args,
                 std::string_view workingDirectory = {});
// Starts and waits; returns the exit status (128 + the signal number when a signal ended it,
// as shells report it), or -1 when it could not be started.
int RunProgramAndWait(std::string_view path, const std::vector<std::string>& args);
// Opens a URL or a file with the desktop's opener (xdg-open). True when the opener started.
bool OpenWithDesktop(std::string_view urlOrPath);
// The ShellExecute "open" verb: a program is started with the parameters (split at spaces,
// double quotes group), a URL or document goes to the desktop's opener. Windows-style result:
// a value above 32 is success, 2 = file not found, 31 = no association.
int ShellOpen(std::string_view file, std::string_view parameters = {});
// Splits a Windows-style parameter text at spaces, honouring double quotes.
std::vector<std::string> SplitCommandLine(std::string_view text);

}  // namespace platform
