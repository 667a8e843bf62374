#pragma once
// Where the program keeps and finds its files, and the Windows file-name conventions mapped to
// Linux ("X.dll" is "X.so", a trailing ".exe" is dropped).
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

std::string ExecutablePath();       // full path of the running executable
std::string ExecutableDirectory();  // with a trailing '/'
// The shared folder of the maker's tools: ${XDG_CONFIG_HOME:-~/.config}/quillmark/ (created
// on demand, trailing '/'). Empty when it cannot be had (no home, not creatable), so callers
// can fall back to ExecutableDirectory(). A relative $XDG_* value is ignored, as XDG requires.
std::string WindowsDirectory();
std::string TempDirectory();  // $TMPDIR or /tmp, long form, trailing '/'
// ${XDG_CACHE_HOME:-~/.cache}/korvane/ and ${XDG_STATE_HOME:-~/.local/state}/korvane/, created
// on demand, trailing '/'; empty when they cannot be had.
std::string CacheDirectory();
std::string StateDirectory();
// A folder only this user can reach, trailing '/': $XDG_RUNTIME_DIR when it is a folder of this
// user closed to everybody else; else "<temp>/korvane-runtime-<uid>/" or, when another user has
// taken that name, "<cache>/korvane/runtime/", each created 0700 and checked to be ours. Empty
// when none can be had: callers must not then fall back to a shared folder.
std::string RuntimeDirectory();
// A folder (the link's target when followLink) owned by this user with no access for others.
bool IsPrivateFolder(std::string_view path, bool followLink);
// Creates path 0700 when missing (its parent must exist); true when it is then a private folder
// of this user, never a link.
bool MakePrivateFolder(std::string_view path);
std::string ProgramFilesDirectory();  // "/opt/"

// Windows file name -> the Linux file to look for: "qmlog.dll" -> "qmlog.so",
// "qmupdate.exe" -> "qmupdate"; anything else unchanged. Applied to the last path component.
std::string MapFileName(std::string_view windowsName);

bool FileExists(std::string_view path);  // after MapFileName; a folder is not a file
bool DirectoryExists(std::string_view path);
bool CreateDirectories(std::string_view path);  // with missing parents; true if it exists after
// Removes a directory and everything under it. Refuses (returns false) paths shorter than
// minLength characters, as written or as resolved, "/" itself, the home folder and a symbolic
// link, so a bad computation never wipes a home directory. Links inside the tree are removed,
// never followed. True when nothing is left (also when it was already missing).
bool DeleteDirectoryTree(std::string_view path, std::size_t minLength = 8);
bool DeleteFile(std::string_view path);  // after MapFileName; never a folder

}  // namespace platform
