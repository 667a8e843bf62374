#pragma once
// Private helper of the file-backed stores (registry, profile files): whole-file reads with a
// size cap, an advisory lock on a companion "<file>.lock", and replacement by temporary file +
// fsync + rename + directory fsync, so a reader or a killed writer never sees half a file.
// Not part of the platform interface: only Registry.cpp and ProfileFile.cpp include it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::detail {

// Enough to notice that another process replaced or rewrote a file since we last read it.
struct FileIdentity {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity StatIdentity(const std::string& path);

enum class ReadStatus { Ok, Missing, TooLarge, Error };

struct FileContents {
  ReadStatus status = ReadStatus::Missing;
  std::string bytes;
  FileIdentity identity;  // of the file actually read (fstat of the open descriptor)
  std::string error;      // for Error / TooLarge
};

// Reads the whole file, refusing anything larger than maxBytes.
FileContents ReadWholeFile(const std::string& path, std::size_t maxBytes);

// An exclusive flock on "<path>.lock", released on destruction. The lock file is left in
// place: removing it would let two writers hold locks on different inodes.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits until the lock is held, at most 10 s; nullopt (with error) when the lock file cannot
  // be opened, is not a regular file of this user, or stays locked.
  static std::optional<FileLock> Acquire(const std::string& path, std::string* error);

 private:
  int fd_ = -1;
};

// Replaces path with bytes: a temporary file in the same folder is written and fsynced, renamed
// over path, and the folder is fsynced. The previous file stays intact on every failure.
// The caller should hold the FileLock of path. When path is a symbolic link (a managed dotfile),
// the file it points to is replaced and the link stays.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

// Removes "<path>.tmp-<pid>-<n>" files left by writers that were killed mid-write (their
// process is gone). Caller holds the lock; harmless when there are none.
void RemoveStaleTemporaries(const std::string& path);

// Keeps a copy of a damaged file as "<path>.corrupt-<unix time>" (with "-N" appended when that
// name is taken) and returns its name; empty on failure. The file itself stays in place, so
// readers never find the store missing. Caller holds the lock.
std::string CopyAside(const std::string& path, std::string* error);

// Writes "korvane: <text>" to standard error the first time this process meets the text, so a
// file that is refused on every read is explained once, not a thousand times.
void ReportOnce(const std::string& text);

// The folder part of a path ("a/b/c" -> "a/b", "c" -> ".").
std::string ParentDirectory(const std::string& path);

}  // namespace platform::detail
