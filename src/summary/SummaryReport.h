#pragma once
// The summary page as a terminal report: the same panes, titles, captions, rows and badge
// texts, as text or as one JSON document (schema "korvane-report/1").
#include <nlohmann/json.hpp>
#include <string>

namespace korvane {
class CLanguageRes;
}

namespace korvane::summary {

class CHdwSummary;
struct SensorPlacement;

inline constexpr const char* kReportSchema = "korvane-report/1";

nlohmann::ordered_json BuildReportDocument(const CHdwSummary& page, const CLanguageRes& lang,
                                           bool showPrivate);
std::string RenderReportText(const nlohmann::ordered_json& doc);

// One placed sensor reading: the control it reached (null for the pane caption), what it is,
// the chip and input it came from, the reading, the text shown and its unit.
nlohmann::ordered_json SensorPlacementJson(const SensorPlacement& placement);
const char* SensorKindName(int what);
const char* SensorUnit(int what);

}  // namespace korvane::summary
