// The submission reads its hardware texts from the summary table: what the page shows is what
// the ranking service receives, part by part, and what the feature id hashes.
#include <gtest/gtest.h>

#include <map>

#include "app/cli/BenchGroupCli.h"
#include "online/ScoreSubmit.h"
#include "scores/TextCipher.h"
#include "summary/SummaryModel.h"

namespace korvane {
namespace {

std::string Decoded(std::string_view v) {
  std::string out;
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '+') {
      out.push_back(' ');
    } else if (v[i] == '%' && i + 2 < v.size()) {
      out.push_back(static_cast<char>(std::stoi(std::string(v.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(v[i]);
    }
  }
  return out;
}

std::map<std::string, std::string> Parts(const std::string& query) {
  std::map<std::string, std::string> parts;
  std::size_t at = 0;
  while (at <= query.size()) {
    std::size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    const std::string part = query.substr(at, end - at);
    const std::size_t eq = part.find('=');
    if (eq != std::string::npos) parts[part.substr(0, eq)] = Decoded(part.substr(eq + 1));
    at = end + 1;
  }
  return parts;
}

TEST(ProfileFromSummary, TheQueryCarriesTheSummaryTablesTexts) {
  auto& table = summary::CaptionAndProfileSummary();
  const auto saved = table;
  table.caption[0] = "Vendor CPU @ 3.20GHz";
  table.profile[0] = "Vendor CPU (4 cores) @ 3200MHz";
  table.caption[1] = "Board Maker B650 & more";
  table.caption[2] = "16 GB DDR5";
  table.profile[2] = "Maker Part DDR5 4800MHz ( 16GB ) @ 2400.0MHz";
  table.memoryCaption = "Maker Part DDR5 4800MHz ( 16GB )";
  const char* devices[5] = {"Display X", "Monitor Y", "Disk Z", "Network N", "Sound S"};
  for (int k = 0; k < 5; ++k) table.profile[static_cast<std::size_t>(3 + k)] = devices[k];

  const ProfileTexts texts = ProfileTextsFromSummary();
  SubmissionIdentity id{"Abcdefghijklmno", "L6", "Debian GNU/Linux 12, 6.1"};
  const auto parts = Parts(BuildScoreQuery(texts, id, 0, 6.21f, 0, "ABCDEFGHIJKL"));
  EXPECT_EQ(parts.at("cpu"), table.caption[0]);
  EXPECT_EQ(parts.at("board"), table.caption[1]);
  EXPECT_EQ(parts.at("memory"), table.profile[2]);
  EXPECT_EQ(parts.at("video"), "Display X");
  EXPECT_EQ(parts.at("monitor"), "Monitor Y");
  EXPECT_EQ(parts.at("disk"), "Disk Z");
  EXPECT_EQ(parts.at("network"), "Network N");
  EXPECT_EQ(parts.at("sound"), "Sound S");
  EXPECT_EQ(parts.at("cpuid"), "");
  EXPECT_EQ(parts.at("cdrom"), "");
  // The fingerprint hashes the CPU's profile text and the memory caption string.
  EXPECT_EQ(parts.at("featureid"),
            Md5HexText("os=L6&osname=Debian GNU/Linux 12, 6.1cpu=" + table.profile[0] +
                       "&cpuid=&board=" + table.caption[1] + "&memory=" + table.memoryCaption +
                       "&username=Abcdefghijklmno"));
  // A later change of the table reaches the next submission.
  table.caption[0] = "Other CPU";
  EXPECT_EQ(ProfileTextsFromSummary().cpuCaption, "Other CPU");
  table = saved;
}

}  // namespace
}  // namespace korvane
