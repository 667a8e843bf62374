#pragma once
// Where the program keeps and finds its files, and the Windows file-name conventions mapped to
// Linux ("X.dll" is "X.so", a trailing ".exe" is dropped).
#include <string>
#include <string_view>

namespace platform {

std::string ExecutablePath();      // full path of the running executable
std::string ExecutableDirectory(); // with a trailing '/'
// The shared folder of the maker's tools: ${XDG_CONFIG_HOME:-~/.config}/quillmark/ (created
// on demand, trailing '/').
std::string WindowsDirectory();
std::string TempDirectory();       // $TMPDIR or /tmp, long form, trailing '/'
std::string CacheDirectory();      // ${XDG_CACHE_HOME:-~/.cache}/korvane/, trailing '/'
std::string StateDirectory();      // ${XDG_STATE_HOME:-~/.local/state}/korvane/, trailing '/'
std::string RuntimeDirectory();    // $XDG_RUNTIME_DIR, else /tmp; trailing '/'
std::string ProgramFilesDirectory(); // "/opt/"

// Windows file name -> the Linux file to look for: "qmlog.dll" -> "qmlog.so",
// "qmupdate.exe" -> "qmupdate"; anything else unchanged. Applied to the last path component.
std::string MapFileName(std::string_view windowsName);

bool FileExists(std::string_view path);       // after MapFileName
bool DirectoryExists(std::string_view path);
bool CreateDirectories(std::string_view path);
// Removes a directory and everything under it. Refuses (returns false) paths shorter than
// minLength characters and "/" itself, so a bad computation never wipes a home directory.
bool DeleteDirectoryTree(std::string_view path, std::size_t minLength = 8);
bool DeleteFile(std::string_view path);

}  // namespace platform
