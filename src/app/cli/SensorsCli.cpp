#include "app/cli/SensorsCli.h"

#include <signal.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <thread>

#include "app/cli/RunLibrary.h"
#include "config/LanguageRes.h"
#include "hwlib/CpuidSdk.h"
#include "hwlib/HardwareLibrary.h"
#include "summary/HdwSummary.h"
#include "summary/SummaryReport.h"

namespace korvane {
namespace {

using Json = nlohmann::ordered_json;

volatile std::sig_atomic_t g_stop = 0;
void OnStopSignal(int) { g_stop = 1; }

int Usage(const std::string& problem) {
  std::cerr << "korvane --sensors: " << problem
            << "\nUsage: korvane --sensors [--json] [--watch SECONDS]\n";
  return 2;
}

struct Line {
  std::string pane, device, label, text, unit, source;
  bool caption = false;
  Json json;
};

// Board and adapter texts run long; the terminal column keeps their start.
std::string Shortened(const std::string& s) {
  constexpr std::size_t kMax = 40;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
    if (chars++ == kMax - 3) return s.substr(0, i) + "...";
  }
  return s;
}

std::vector<Line> PlacedLines(const summary::CHdwSummary& page) {
  using summary::SensorPlacement;
  std::vector<Line> lines;
  for (const SensorPlacement& s : page.sensors.Placements()) {
    const auto& pane = page.panes[static_cast<std::size_t>(s.category)];
    Line l;
    l.pane = pane.title;
    l.text = s.shown;
    l.unit = summary::SensorUnit(s.what);
    l.source = s.chip.empty() ? s.sensor : s.sensor.empty() ? s.chip : s.chip + ": " + s.sensor;
    if (s.control < 0) {
      l.label = pane.title;
      l.device = "-";
      l.caption = true;
    } else {
      const auto& c = pane.controls.at(static_cast<std::size_t>(s.control));
      if (!c.rows.empty()) l.device = c.rows.front().value;
      if (l.device.empty()) l.device = "#" + std::to_string(s.control);
      if (s.what == SensorPlacement::kVoltage) {
        for (const auto& r : c.rows)
          if (r.key == "Voltage") l.label = r.label;
      } else {
        const auto* badge = c.FindBadge(
            s.what == SensorPlacement::kFan ? summary::kBadgeFan : summary::kBadgeTemperature);
        if (badge != nullptr) l.label = badge->label;
      }
    }
    l.json = summary::SensorPlacementJson(s);
    Json j;
    j["pane"] = pane.title;
    j["category"] = s.category;
    j["deviceName"] = s.control < 0 ? Json(nullptr) : Json(l.device);
    j["label"] = l.label;
    if (s.what == SensorPlacement::kVoltage) {
      j["value"] = std::round(static_cast<double>(s.reading) * 1000.0) / 1000.0;
    } else {
      j["value"] = std::atoi(s.shown.c_str());
    }
    for (auto it = l.json.begin(); it != l.json.end(); ++it) j[it.key()] = it.value();
    l.json = std::move(j);
    // The voltage text carries its unit already.
    if (s.what == SensorPlacement::kVoltage && l.text.size() > 2) l.text.resize(l.text.size() - 2);
    lines.push_back(std::move(l));
  }
  return lines;
}

std::size_t Width(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

void PrintText(std::vector<Line> lines) {
  // A caption that repeats a device's reading adds nothing in a table.
  std::erase_if(lines, [&lines](const Line& c) {
    if (!c.caption) return false;
    for (const auto& l : lines) {
      if (!l.caption && l.pane == c.pane && l.unit == c.unit && l.source == c.source &&
          l.text == c.text)
        return true;
    }
    return false;
  });
  for (auto& l : lines) l.device = Shortened(l.device);
  if (lines.empty()) {
    std::cout << "No sensor readings reach the summary page on this machine.\n";
    return;
  }
  std::size_t w[4] = {4, 6, 5, 5};
  for (const auto& l : lines) {
    w[0] = std::max(w[0], Width(l.pane));
    w[1] = std::max(w[1], Width(l.device));
    w[2] = std::max(w[2], Width(l.label));
    w[3] = std::max(w[3], Width(l.text));
  }
  auto pad = [](const std::string& s, std::size_t width) {
    return s + std::string(width - Width(s) + 2, ' ');
  };
  for (const auto& l : lines) {
    std::string row = pad(l.pane, w[0]) + pad(l.device, w[1]) + pad(l.label, w[2]) +
                      std::string(w[3] - Width(l.text), ' ') + l.text + " " + l.unit + "  " +
                      l.source;
    row.erase(row.find_last_not_of(' ') + 1);
    std::cout << row << '\n';
  }
}

Json Document(const std::vector<Line>& lines) {
  Json doc;
  doc["schema"] = "korvane-sensors/1";
  doc["time"] = static_cast<std::int64_t>(std::time(nullptr));
  Json readings = Json::array();
  for (const auto& l : lines) readings.push_back(l.json);
  doc["readings"] = std::move(readings);
  return doc;
}

}  // namespace

int ParseWatchSeconds(const std::string& text) {
  if (text.empty() || text.size() > 5) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 86400 ? value : -1;
}

int RunSensorsCli(const std::vector<std::string>& args) {
  bool json = false;
  int watch = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--watch" || a.rfind("--watch=", 0) == 0) {
      std::string value;
      if (a == "--watch") {
        if (i + 1 >= args.size()) return Usage("--watch needs a number of seconds");
        value = args[++i];
      } else {
        value = a.substr(8);
      }
      watch = ParseWatchSeconds(value);
      if (watch < 0) {
        return Usage("--watch takes whole seconds from 1 to 86400, not \"" + value + "\"");
      }
    } else {
      return Usage("unknown option " + a);
    }
  }

  CRunLibrary library;
  CPUIDSDK* sdk = library.Get();
  const CLanguageRes& lang = LanguageRes();
  summary::SummarySources sources;
  sources.library = [sdk] { return sdk; };
  summary::CHdwSummary page(lang, std::move(sources));
  page.OnFirstShow(0, 0);

  auto print = [&] {
    const auto lines = PlacedLines(page);
    if (json) {
      // Watching prints one document per line, so a script can read them as they come.
      std::cout << (watch > 0 ? Document(lines).dump() : Document(lines).dump(2)) << '\n';
    } else {
      PrintText(lines);
    }
    std::cout.flush();
  };
  if (watch == 0) {
    print();
    return 0;
  }

  g_stop = 0;
  struct sigaction action = {};
  struct sigaction previousInt = {}, previousTerm = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
  bool first = true;
  while (g_stop == 0) {
    if (!first) {
      if (sdk != nullptr) sdk->RefreshSensors();
      page.sensors.UpdateSensors();
      if (!json) std::cout << '\n';
    }
    first = false;
    if (!json) {
      char stamp[16] = {};
      const std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
      std::cout << "-- " << stamp << '\n';
    }
    print();
    // Short naps, so Ctrl-C ends the run at once.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(watch);
    while (g_stop == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  return 0;
}

}  // namespace korvane
