#pragma once
// The start panel's reachability probe, and the private working folder that it and the version
// check download into.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Messages.h"

namespace korvane {

// Messages the probe sends to the start panel.
inline constexpr std::uint32_t kMsgProbeDownloaded = 2425;
inline constexpr std::uint32_t kMsgProbeFailed = 2426;

inline constexpr const char* kWorkFolderName = "Tovix2Tmp";
inline constexpr const char* kBuiltInStartPage = "FIRST_PAGE.HTM";

// The folder that holds "Tovix2Tmp/": $XDG_RUNTIME_DIR when it is an absolute path, else
// ${XDG_CACHE_HOME:-~/.cache}/korvane/. Never a shared folder such as /tmp, where another user
// could create the folder first. Empty when neither can be had. Trailing '/'.
std::string ChooseWorkFolderBase(const std::optional<std::string>& runtimeDir,
                                 std::string_view cacheDir);
// "<base>Tovix2Tmp/" for the running process (empty when there is no private base).
std::string WorkFolder();
// Creates the folder with missing parents, private to this user (0700). False when it cannot
// be created or is not a real folder owned by this user (a symbolic link, another owner).
bool PrepareWorkFolder(std::string_view folder);

// Drops any cached copy, checks the address and downloads it to `path` (replaced only when
// complete). 0 on success, negative on failure: also for an empty address or path, an address
// that does not parse, or an answer larger than `maxBytes`.
int DownloadUrlToFile(std::string_view url, std::string_view path, std::size_t maxBytes = 8u << 20);

// The address the start panel shows for a probe result: the on-line start page after a
// successful probe, the built-in page after a failed one ("res://<exe>/FIRST_PAGE.HTM", or
// "about:blank" without an executable path). nullopt for any other message.
std::optional<std::string> StartPanelAddress(std::uint32_t msg, platform::WParam wParam,
                                             std::string_view onlineStartPage,
                                             std::string_view executablePath);

// The probe thread: downloads the probe file once and tells the panel how it went.
class CStartProbe {
 public:
  struct Settings {
    std::string probeUrl;    // language string 8130
    std::string workFolder;  // WorkFolder() when empty
    unsigned settleDelayMs = 500;
  };
  CStartProbe() = default;
  ~CStartProbe();  // waits for a running probe
  CStartProbe(const CStartProbe&) = delete;
  CStartProbe& operator=(const CStartProbe&) = delete;

  // Starts the probe at the lowest priority; a second call does nothing and returns false.
  // `target` must outlive this object (or report itself gone).
  bool Start(platform::IMessageTarget& target, Settings settings);
  // Waits until the probe has reported (for callers that tear down).
  void Wait();
  // The probe itself, on the calling thread: the message it sent, or 0 when the panel was gone.
  static std::uint32_t Run(platform::IMessageTarget& target, const Settings& settings);

 private:
  std::mutex mutex_;
  bool started_ = false;
  std::thread thread_;
};

}  // namespace korvane
