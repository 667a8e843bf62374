#include "app/logic/SelfUpdater.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "config/IniFile.h"
#include "config/Product.h"
#include "platform/Http.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"
#include "scores/Md5.h"

namespace korvane {

std::string ConfiguredUpdateBase() {
  std::string base;
  if (const char* env = std::getenv(kUpdateBaseEnv); env != nullptr && env[0] != '\0') {
    base = env;
  } else {
    CIniFile ini(SettingsFilePath());
    if (ini.Read(kSettingsSection, kUpdateBaseKey, base) != 1) base.clear();
  }
  base = platform::Trim(base);
  if (!base.empty() && base.back() != '/') base += '/';
  return base;
}

bool IsUsableUpdateBase(std::string_view base) {
  return base.size() > 8 && platform::EqualsIgnoreCase(base.substr(0, 8), "https://");
}

bool DigestMatches(std::string_view publishedDigest, std::string_view fileDigestHex) {
  return publishedDigest.size() == 32 && fileDigestHex.size() == 32 &&
         platform::EqualsIgnoreCase(publishedDigest, fileDigestHex);
}

std::string FileMd5Hex(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return {};
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    return Md5HexLower({});
  }
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return {};
  std::string hex = Md5HexLower(std::string_view(static_cast<const char*>(map), size));
  ::munmap(map, size);
  return hex;
}

std::string UpdaterParameters() { return platform::Format("%d %s 1", 6, kProductVersionLong); }

CSelfUpdater::CSelfUpdater(std::string directory, std::string base, Operations ops)
    : dir_(std::move(directory)), base_(std::move(base)), ops_(std::move(ops)) {
  if (!dir_.empty() && dir_.back() != '/') dir_ += '/';
}

CSelfUpdater::CSelfUpdater(std::string directory, std::string base)
    : CSelfUpdater(std::move(directory), std::move(base),
                   Operations{
                       [](const std::string& url, const std::string& path) {
                         return platform::HttpDownloadToFile(url, path);
                       },
                       [](const std::string& program, const std::string& parameters) {
                         return platform::ShellOpen(program, parameters);
                       }}) {}

CSelfUpdater::~CSelfUpdater() {
  if (worker_.joinable()) worker_.join();
}

std::string CSelfUpdater::UpdaterPath() const { return dir_ + platform::MapFileName(kUpdaterFileName); }
std::string CSelfUpdater::CheckFilePath() const { return dir_ + kUpdateCheckFileName; }

bool CSelfUpdater::LocalCheck(const std::string& candidate) {
  if (!platform::FileExists(candidate)) return false;
  const std::string checkFile = CheckFilePath();
  platform::DeleteFile(checkFile);
  if (platform::FileExists(checkFile)) return false;
  if (!ops_.download || !ops_.download(base_ + kUpdateDigestFileName, checkFile)) return false;
  std::string published;
  platform::GetProfileString("update", "crc", "", published, 50, checkFile);
  return DigestMatches(published, FileMd5Hex(candidate));
}

int CSelfUpdater::WorkerBody() {
  // The download lands beside the updater under another name and stays an ordinary,
  // non-executable file until its digest has matched; only then does it replace the updater.
  const std::string updater = UpdaterPath();
  const std::string part = updater + ".download";
  platform::DeleteFile(part);
  if (!ops_.download || !ops_.download(base_ + kUpdaterFileName, part)) {
    platform::DeleteFile(part);
    return kWorkerDownloadFailed;
  }
  if (!LocalCheck(part) || ::chmod(part.c_str(), 0755) != 0 ||
      ::rename(part.c_str(), updater.c_str()) != 0) {
    platform::DeleteFile(part);
    return kWorkerCheckFailed;
  }
  if (ops_.start) ops_.start(updater, UpdaterParameters());
  return kWorkerStarted;
}

CSelfUpdater::Outcome CSelfUpdater::Run() {
  if (!IsUsableUpdateBase(base_)) return Outcome::NotConfigured;
  if (LocalCheck(UpdaterPath())) {
    if (ops_.start) ops_.start(UpdaterPath(), UpdaterParameters());
    return Outcome::StartedAtOnce;
  }
  worker_ = std::thread([this] { workerCode_ = WorkerBody(); });
  return Outcome::DownloadStarted;
}

int CSelfUpdater::Join() {
  if (!worker_.joinable()) return workerCode_;
  worker_.join();
  return workerCode_;
}

void CSelfUpdater::Release() {
  // The worker touches only the updater files and its own object, which is never freed
  // once released (see ReleaseSelfUpdater).
  if (worker_.joinable()) worker_.detach();
}

namespace {
CSelfUpdater* g_updater = nullptr;
}  // namespace

void RunSelfUpdaterBootstrap() {
  if (g_updater != nullptr) return;
  const std::string base = ConfiguredUpdateBase();
  if (!IsUsableUpdateBase(base)) return;
  std::string dir = platform::ExecutableDirectory();
  if (dir.empty()) return;
  g_updater = new CSelfUpdater(dir, base);
  g_updater->Run();
}

void ReleaseSelfUpdater() {
  // Deliberately not deleted: a released worker may still be using it.
  if (g_updater != nullptr) g_updater->Release();
}

}  // namespace korvane
