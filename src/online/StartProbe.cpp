#include "online/StartProbe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Clock.h"
#include "platform/Http.h"
#include "platform/Paths.h"

namespace korvane {

std::string ChooseWorkFolderBase(const std::optional<std::string>& runtimeDir,
                                 std::string_view cacheDir) {
  std::string base;
  // A relative value is ignored, as the XDG rules ask.
  if (runtimeDir && !runtimeDir->empty() && runtimeDir->front() == '/') {
    base = *runtimeDir;
  } else if (!cacheDir.empty() && cacheDir.front() == '/') {
    base = std::string(cacheDir);
  } else {
    return {};
  }
  if (base.back() != '/') base.push_back('/');
  return base;
}

std::string WorkFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string base = ChooseWorkFolderBase(
      runtime ? std::optional<std::string>(runtime) : std::nullopt, platform::CacheDirectory());
  if (base.empty()) return {};
  return base + kWorkFolderName + "/";
}

bool PrepareWorkFolder(std::string_view folder) {
  if (folder.empty()) return false;
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!platform::CreateDirectories(path)) return false;
  // The folder is trusted only when it is a real folder of this user's: a link or a folder that
  // someone else made could redirect the downloads.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    return false;
  }
  if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

int DownloadUrlToFile(std::string_view url, std::string_view path, std::size_t maxBytes) {
  if (url.empty() || path.empty()) return -1;
  platform::HttpDeleteCacheEntry(url);
  // An address that does not parse is a failure: counting it as a success would send the
  // start panel to a page that cannot exist.
  if (!platform::IsValidUrl(url)) return -2;
  platform::HttpOptions options;
  options.maxBody = maxBytes;
  platform::HttpResponse response;
  if (!platform::HttpDownloadToFile(url, path, options, &response)) {
    return response.truncated ? -4 : -3;
  }
  return 0;
}

std::optional<std::string> StartPanelAddress(std::uint32_t msg, platform::WParam wParam,
                                             std::string_view onlineStartPage,
                                             std::string_view executablePath) {
  if (msg == kMsgProbeDownloaded) {
    if (wParam != 0) return std::nullopt;
    return std::string(onlineStartPage);
  }
  if (msg == kMsgProbeFailed) {
    if (executablePath.empty()) return std::string("about:blank");
    return "res://" + std::string(executablePath) + "/" + kBuiltInStartPage;
  }
  return std::nullopt;
}

CStartProbe::~CStartProbe() { Wait(); }

bool CStartProbe::Start(platform::IMessageTarget& target, Settings settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_) return false;
  started_ = true;
  thread_ = std::thread([&target, settings = std::move(settings)] {
    platform::SetCurrentThreadPriority(platform::ThreadPriority::Lowest);
    Run(target, settings);
  });
  return true;
}

void CStartProbe::Wait() {
  std::thread t;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
    t = std::move(thread_);
  }
  t.join();
}

std::uint32_t CStartProbe::Run(platform::IMessageTarget& target, const Settings& settings) {
  if (!target.IsLive()) return 0;
  const std::string folder = settings.workFolder.empty() ? WorkFolder() : settings.workFolder;
  std::string path;
  if (!folder.empty()) {
    // A folder that cannot be made is not an error of its own: the download fails after it.
    PrepareWorkFolder(folder);
    path = folder + (folder.back() == '/' ? "" : "/") + "netstat.xml";
    platform::DeleteFile(path);
  }
  if (settings.settleDelayMs > 0) platform::SleepMs(settings.settleDelayMs);
  const int status = DownloadUrlToFile(settings.probeUrl, path);
  const std::uint32_t msg = status >= 0 ? kMsgProbeDownloaded : kMsgProbeFailed;
  if (!target.IsLive()) return 0;
  target.Send(msg, 0, 0);
  return msg;
}

}  // namespace korvane
