#pragma once
// The hardware diagnosis printed by --diagnose: one ordered document of sections, shown as
// indented "key = value" lines or as JSON. Every front end reads the same document.
#include <nlohmann/json.hpp>
#include <string>

namespace korvane {

nlohmann::ordered_json BuildDiagnosis();
// showPrivate: hardware and public IP addresses as they are instead of masked.
nlohmann::ordered_json BuildDiagnosis(bool showPrivate);
std::string RenderDiagnosisText(const nlohmann::ordered_json& doc);

}  // namespace korvane
