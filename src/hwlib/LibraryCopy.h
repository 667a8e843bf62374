#pragma once
// A copy of the embedded hardware library that this process wrote and still holds open, and
// the private folders it lives in. The copy is loaded through its own descriptor
// ("/proc/self/fd/N"), so what runs is exactly what was written, whatever happens to the name
// in the folder meanwhile. Where no folder may be mapped executable (a noexec temporary
// folder) the copy lives in an anonymous memory file instead.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korvane {

// True when `path` is a real directory (not a link) owned by this user that nobody else can
// write to: a folder where another user cannot plant or swap files.
bool IsPrivateFolder(const std::string& path);

// Creates "<parent><prefix>-<pid>-XXXXXX" with mode 0700 and returns it with a trailing '/',
// or "" when it cannot be made. The pid in the name lets a later run find the folders of runs
// that ended without cleaning up.
std::string MakeRunFolder(const std::string& parent, const std::string& prefix);
// Removes the folders "<prefix>-<pid>-*" in `parent` that this user owns and whose process no
// longer runs. Returns how many went.
int RemoveStaleRunFolders(const std::string& parent, const std::string& prefix);
// For a signal handler: removes the files directly inside `folder`, then the folder. Uses only
// async-signal-safe calls.
void RemoveFolderFromSignalHandler(const char* folder);

class CLibraryCopy {
 public:
  CLibraryCopy() = default;
  ~CLibraryCopy();  // closes the descriptors; files are only removed by Remove()
  CLibraryCopy(const CLibraryCopy&) = delete;
  CLibraryCopy& operator=(const CLibraryCopy&) = delete;

  // Writes `bytes` as `fileName` into `folder`. The folder is created (mode 0700) when missing;
  // an existing one is used only when IsPrivateFolder holds. When the folder cannot be mapped
  // executable, the file is removed again and the bytes go to a memory file. False (nothing
  // kept) when the folder is refused or cannot be written.
  bool WriteToFolder(std::span<const std::uint8_t> bytes, const std::string& folder,
                     const std::string& fileName);
  // Writes `bytes` to an anonymous, sealed memory file.
  bool WriteToMemory(std::span<const std::uint8_t> bytes);

  bool Valid() const { return fd_ >= 0; }
  bool InMemory() const { return Valid() && file_.empty(); }
  // The path to hand to the loader: the descriptor of the bytes written.
  const std::string& LoadPath() const { return load_; }
  // The file in its folder ("" for a memory copy) and its folder (trailing '/').
  const std::string& FilePath() const { return file_; }
  const std::string& Folder() const { return folder_; }
  std::size_t Size() const { return size_; }

  // Removes what WriteToFolder made: the file while it is still the one written, and the
  // folder when this process created it or it is left empty. Another user's files or a
  // folder swapped in meanwhile are never touched. The descriptor stays open (a loaded module
  // may still be known by it); Release() closes it.
  void Remove();
  void Release();

 private:
  void Reset();

  int fd_ = -1;
  int dirFd_ = -1;
  dev_t dirDev_ = 0;
  ino_t dirIno_ = 0;
  dev_t fileDev_ = 0;
  ino_t fileIno_ = 0;
  std::size_t size_ = 0;
  std::string folder_;
  std::string name_;
  std::string file_;
  std::string load_;
};

}  // namespace korvane
