#pragma once
// The updater that sits beside the program is started at every launch once its MD5 digest
// matches the one the update server publishes. Both files come only over HTTPS with
// certificate checks: a plain-HTTP base address disables the whole step, since a digest
// fetched over the same unprotected channel proves nothing. No base address is configured by
// default.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace korvane {

inline constexpr const char* kUpdateBaseKey = "UpdateBase";
inline constexpr const char* kUpdateBaseEnv = "KORVANE_UPDATE_BASE";
inline constexpr const char* kUpdaterFileName = "update.exe";
inline constexpr const char* kUpdateCheckFileName = "update.crc";
inline constexpr const char* kUpdateDigestFileName = "update.txt";

// KORVANE_UPDATE_BASE when set and not empty, else "UpdateBase" of the settings file; a base
// without a trailing '/' gets one.
std::string ConfiguredUpdateBase();
// Only https:// bases are used.
bool IsUsableUpdateBase(std::string_view base);
// The digest text must be exactly 32 characters (read with a 50-character limit).
bool DigestMatches(std::string_view publishedDigest, std::string_view fileDigestHex);
// MD5 of a whole file through a read-only mapping, 32 lower-case hex digits; "" when the file
// cannot be read. An empty file has the digest of no bytes.
std::string FileMd5Hex(const std::string& path);
// "6 3.0.603.1 1"
std::string UpdaterParameters();

class CSelfUpdater {
 public:
  struct Operations {
    std::function<bool(const std::string& url, const std::string& path)> download;
    std::function<int(const std::string& program, const std::string& parameters)> start;
  };
  enum class Outcome { NotConfigured, StartedAtOnce, DownloadStarted };
  // Thread exit codes, as the worker reports them.
  enum WorkerCode : int { kWorkerStarted = 0, kWorkerDownloadFailed = 2, kWorkerCheckFailed = 3 };

  // directory: where the updater lives (with a trailing '/'); base: the update server.
  CSelfUpdater(std::string directory, std::string base, Operations ops);
  CSelfUpdater(std::string directory, std::string base);  // real HTTP and process start
  ~CSelfUpdater();
  CSelfUpdater(const CSelfUpdater&) = delete;
  CSelfUpdater& operator=(const CSelfUpdater&) = delete;

  Outcome Run();
  // Waits for the download worker; returns its code, or -1 when none ran.
  int Join();
  // At exit a slow download must not hold the program: the worker is let go.
  void Release();

  std::string UpdaterPath() const;
  std::string CheckFilePath() const;
  // Whether `candidate`'s digest equals the published one (downloads update.txt afresh).
  bool LocalCheck(const std::string& candidate);
  int WorkerBody();

 private:
  std::string dir_;
  std::string base_;
  Operations ops_;
  std::thread worker_;
  int workerCode_ = -1;
};

// Static start-up: runs the bootstrap for the running program when a usable base is set.
void RunSelfUpdaterBootstrap();
void ReleaseSelfUpdater();

}  // namespace korvane
