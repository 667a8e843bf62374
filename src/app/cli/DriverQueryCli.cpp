#include "app/cli/DriverQueryCli.h"

#include <iostream>
#include <nlohmann/json.hpp>

#include "online/DriveDBQuery.h"

namespace korvane {

int RunDriverQueryCli(const std::vector<std::string>& args) {
  // args: "--driver-query", the id, optionally "--json" anywhere after the mode.
  std::string id;
  bool json = false;
  bool haveId = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (!haveId) {
      id = args[i];
      haveId = true;
    } else {
      std::cerr << "korvane: --driver-query takes one instance id\n";
      return 2;
    }
  }
  if (!haveId) {
    std::cerr << "korvane: --driver-query needs an instance id, e.g.\n"
                 "  korvane --driver-query "
                 "'PCI\\VEN_10DE&DEV_2484&SUBSYS_404C1458&REV_A1\\4&1A2B3C4D&0&0008'\n";
    return 2;
  }

  DeviceRecord record{};
  const DriverQueryTrace trace = QueryDriverDatabaseTraced(id, &record);
  const bool asked = !trace.steps.empty();

  if (json) {
    nlohmann::json doc;
    doc["instanceId"] = id;
    doc["candidates"] = trace.candidates;
    nlohmann::json steps = nlohmann::json::array();
    for (const auto& s : trace.steps) {
      steps.push_back(
          {{"candidate", s.candidate}, {"url", s.url}, {"answer", DriverAnswerName(s.answer)}});
    }
    doc["asked"] = steps;
    doc["found"] = trace.filled;
    if (trace.filled) {
      doc["record"] = {{"hardwareId", RecordText(record.instanceId)},
                       {"chipName", RecordText(record.name)},
                       {"manufacturer", RecordText(record.manufacturer)},
                       {"driverVersion", RecordText(record.driverVersion)},
                       {"releaseDate", RecordText(record.releaseDate)}};
    } else {
      doc["record"] = nullptr;
    }
    std::cout << doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return trace.filled ? 0 : 1;
  }

  std::cout << "Candidates (" << trace.candidates.size() << "):\n";
  for (std::size_t i = 0; i < trace.candidates.size(); ++i) {
    std::cout << "  " << (i + 1) << ". " << trace.candidates[i] << '\n';
  }
  if (!asked) {
    std::cout << "Nothing asked: "
              << (trace.candidates.empty() ? "empty instance id" : "too many candidates") << '\n';
    return 1;
  }
  for (const auto& s : trace.steps) {
    std::cout << "Asked " << s.candidate << ": " << DriverAnswerName(s.answer) << '\n';
  }
  if (!trace.filled) {
    std::cout << "No usable answer.\n";
    return 1;
  }
  std::cout << "Record:\n"
            << "  hardware id:    " << RecordText(record.instanceId) << '\n'
            << "  chip name:      " << RecordText(record.name) << '\n'
            << "  manufacturer:   " << RecordText(record.manufacturer) << '\n'
            << "  driver version: " << RecordText(record.driverVersion) << '\n'
            << "  release date:   " << RecordText(record.releaseDate) << '\n';
  return 0;
}

}  // namespace korvane
