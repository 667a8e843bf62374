#pragma once
// This edition refuses to run on Traditional-Chinese systems; every run mode checks first.
#include <cstdint>
#include <string>

namespace korvane {

class CLanguageRes;

bool IsRefusedLanguage(std::uint16_t languageId);  // 1028 and 3076
bool EditionCheckPasses(const CLanguageRes& res);
bool EditionCheckPasses();  // for the running system

// Text 6100 of the selected table, and the caption "<product> <version>".
std::string EditionRefusalText(const CLanguageRes& res);
std::string EditionRefusalText();
std::string EditionRefusalCaption();

// The start-up step: when the check fails, shows the refusal (message box in the GUI,
// standard error otherwise) and returns false; the caller then ends with a non-zero status.
bool EnforceEdition();

}  // namespace korvane
