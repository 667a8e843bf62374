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

inline constexpr const char* kReportSchema = "korvane-report/1";

nlohmann::ordered_json BuildReportDocument(const CHdwSummary& page, const CLanguageRes& lang,
                                           bool showPrivate);
std::string RenderReportText(const nlohmann::ordered_json& doc);

}  // namespace korvane::summary
