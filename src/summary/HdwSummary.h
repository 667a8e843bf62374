#pragma once
// The summary page without its window: runs the detectors in their fixed order, builds the
// eight panes, fills every row, caption and badge once a second, and keeps the hardware
// summary table that the profile and the benchmark page read.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "detect/CpuHelper.h"
#include "detect/DisplayHelper.h"
#include "detect/HddHelper.h"
#include "detect/MemoryHelper.h"
#include "detect/MonitorHelper.h"
#include "detect/NetworkHelper.h"
#include "detect/OthersHelper.h"
#include "summary/SummaryHeader.h"
#include "summary/SummaryModel.h"
#include "summary/SummarySensors.h"

namespace korvane {
class CLanguageRes;
class CPUIDSDK;
}  // namespace korvane

namespace korvane::summary {

// What the library tells about the board, its chipset and BIOS.
struct BoardFacts {
  std::string vendor, model;
  std::string chipsetVendor, chipsetModel;  // the northbridge
  std::string northRevision;
  std::string southVendor, southModel;
  std::string biosVersion, biosDate;
  std::string sensorChip;  // the board's monitoring chip, "" when none was found
};

struct MemoryModuleFacts {
  std::int32_t type = 0;
  std::int32_t sizeMB = 0;
  std::int32_t ratedClock = 0;  // J of the module, 0 when unknown
  std::string vendor;
  std::string partNumber;
};

// What the library tells about memory; every missing answer is 0 or "".
struct MemoryFacts {
  std::int32_t type = 0;
  std::optional<std::int32_t> sizeMB;
  std::int32_t channelMode = 0;
  float clock = 0;      // current memory clock, MHz
  float busClock = -1;  // bus clock, MHz; -1 unknown
  float cl = 0;
  std::int32_t rcd = 0, rp = 0, ras = 0, trc = 0, cr = 0;
  std::int32_t slotCount = 0;
  std::int32_t populatedMask = 0;
  std::vector<MemoryModuleFacts> modules;
};

struct NetworkAdapterFacts {
  std::string name, vendor, typeText;
  bool connected = false;
  std::string mac;
  bool dhcp = false;
  std::string ip, mask, gateway, dns;
};

struct SoundDeviceFacts {
  std::string name, secondName, vendor;
};

BoardFacts ReadBoardFacts(CPUIDSDK* sdk);
// The detectors' records in the page's terms.
std::vector<NetworkAdapterFacts> NetworkFactsOf(const CNetworkHelper& helper);
std::vector<SoundDeviceFacts> SoundFactsOf(const CSoundHelper& helper);
MemoryFacts ReadMemoryFacts(CPUIDSDK* sdk);
// The board's monitoring chip among the library's sensor devices ("" when none): the first
// device of the board-chip class. Takes the sensor guard when the program has one.
std::string ReadSensorChipName(CPUIDSDK* sdk);

// Caption (g), name row (h) and profile (p) texts of a processor's clock state.
struct CpuClockTexts {
  std::string caption;
  std::string nameRow;
  std::string profile;
};
CpuClockTexts ComposeCpuClockTexts(std::string_view name, float clock, std::int32_t stock,
                                   const CLanguageRes& lang);

// The slot number of each module row from the controller's slot layout.
std::vector<std::int32_t> ModuleSlotNumbers(std::int32_t slotCount, std::int32_t populatedMask,
                                            std::size_t moduleCount);

// Where the page's data comes from. Left empty, each source is the machine's own.
struct SummarySources {
  std::function<CPUIDSDK*()> library;
  std::function<BoardFacts()> board;
  std::function<MemoryFacts()> memory;
  // Without these two the page runs the network and other-device detectors itself.
  std::function<std::vector<NetworkAdapterFacts>()> network;
  std::function<std::vector<SoundDeviceFacts>()> sound;
};

class CHdwSummary {
 public:
  CHdwSummary(const CLanguageRes& lang, SummarySources sources);

  // Without detection: the eight empty panes with their titles. With it: every detector once,
  // each category built right after its detector.
  void BuildPage(bool detect);
  // Builds one category's controls from what its detector holds now.
  void BuildCategory(int category);
  // Fills every pane; rows only of expanded panes unless forced. Captions and the summary table
  // are recomputed on every pass. Nothing happens before the page is ready.
  void RefreshValues(bool force);
  // Once detection has finished: build, show the stored scores, fill everything.
  void OnFirstShow(std::int32_t storedCpuScore, std::int32_t storedMemoryScore);
  bool Ready() const { return ready_; }
  void SetReady(bool ready) { ready_ = ready; }

  void SetExpanded(int category, bool expanded);
  bool Expanded(int category) const;
  // The stored score integers (score x 100; 0 when none) shown by the score badges.
  void SetScores(std::int32_t cpuInteger, std::int32_t memoryInteger);
  // Reads the header's system information (once; later calls keep what was read), from the
  // source given here or else from the machine.
  void SetSystemInfoSource(std::function<SystemInfoFacts()> source) {
    systemInfoSource_ = std::move(source);
  }
  void BuildHeader();
  // A score from the main window: the overall one stays in the header, the CPU and memory ones
  // also reach their panes' captions and score badges.
  void ShowScore(int kind, float score);

  // kind 0 CPU, 2 board, 3 memory (which 2 = memory caption string), 4..8 the profiles of
  // display, monitor, disk, network and sound; which 0 caption, 1 profile.
  std::string GetSummary(int kind, int which) const;

  const CLanguageRes& Lang() const { return lang_; }
  // The detected disks that got a control, in control order.
  std::vector<int> DiskSlots() const;

  std::array<PaneModel, kCategoryCount> panes;
  CSummaryHeader header;
  std::string memoryCaption;
  std::string sensorChip;
  int refreshPasses = 0;

  CCPUHelper cpu;
  CMemoryHelper memory;
  CDisplayHelper display;
  CMonitorHelper monitor;
  CHddHelper hdd;
  CNetworkHelper networkHelper;
  COthersHelper others;
  // What the network and sound panes show, taken from their detectors after detection.
  std::vector<NetworkAdapterFacts> network;
  std::vector<SoundDeviceFacts> sound;
  // The live readings: set up at first show, placed again on every refresh pass.
  CSummarySensors sensors{*this};

 private:
  void EnsurePane(int category);
  void BuildCpu();
  void BuildMainboard();
  void BuildMemory();
  void BuildDisplay();
  void BuildMonitor();
  void BuildDisk();
  void BuildNetwork();
  void BuildSound();
  void FillCpu(bool rows);
  void FillMainboard(bool rows);
  void FillMemory(bool rows);
  void FillDisplay(bool rows);
  void FillMonitor(bool rows);
  void FillDisk(bool rows);
  void FillNetwork(bool rows);
  void FillSound(bool rows);
  void UpdateUsageBadge();
  void ApplyScores();
  void SetSummary(int category, const std::string& caption, const std::string& profile);

  const CLanguageRes& lang_;
  SummarySources sources_;
  std::function<SystemInfoFacts()> systemInfoSource_;
  bool ready_ = false;
  std::array<bool, kCategoryCount> expanded_{};
  std::int32_t cpuScore_ = 0;
  std::int32_t memoryScore_ = 0;
  MemoryFacts memoryFacts_;
  bool memoryFactsRead_ = false;
};

// The process-wide total physical memory in MB, set by the page and read by the memory score.
std::int32_t& TotalPhysicalMemoryMB();

}  // namespace korvane::summary
