#include "config/Edition.h"

#include "config/LanguageRes.h"
#include "config/Product.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace korvane {

bool IsRefusedLanguage(std::uint16_t languageId) {
  return languageId == kLangChineseTaiwan || languageId == kLangChineseHongKong;
}

bool EditionCheckPasses(const CLanguageRes& res) { return !IsRefusedLanguage(res.SystemLanguage()); }
bool EditionCheckPasses() { return EditionCheckPasses(LanguageRes()); }

std::string EditionRefusalText(const CLanguageRes& res) { return res.Text(6100); }
std::string EditionRefusalText() { return EditionRefusalText(LanguageRes()); }

std::string EditionRefusalCaption() { return platform::Format("%s %s", kProductName, kProductVersion); }

bool EnforceEdition() {
  if (EditionCheckPasses()) return true;
  platform::ShowMessageBox(EditionRefusalText(), EditionRefusalCaption(), platform::kMbIconError);
  return false;
}

}  // namespace korvane
