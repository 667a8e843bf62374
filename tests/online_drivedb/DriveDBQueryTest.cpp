// The driver database query without a server: candidate lists, and the answer rules over
// answer files handed in through the download seam.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "online/DriveDBQuery.h"
#include "scores/TextCipher.h"

namespace korvane {
namespace {

constexpr const char* kBase =
    "http://127.0.0.1:9/?action=seSearch&version=2.0&os=winxp_32&type=1&typename=";

TEST(DriverQueryCandidates, InstanceIdWithTwoBackslashesGivesNineInOrder) {
  const std::vector<std::string> expected = {
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0008",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\",
      "PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842",
      "PCI\\VEN_10DE&DEV_0611",
      "PCI\\VEN_10DE",
  };
  EXPECT_EQ(DriverQueryCandidates(
                "  PCI\\VEN_10DE&DEV_0611&SUBSYS_C7723842&REV_A2\\4&2A1B3C4D&0&0008 \r\n"),
            expected);
}

TEST(DriverQueryCandidates, FewerBackslashes) {
  // No backslash: the whole id, then its "&"-prefixes longest first.
  EXPECT_EQ(
      DriverQueryCandidates("VEN_10EC&DEV_0887&REV_1003"),
      (std::vector<std::string>{"VEN_10EC&DEV_0887&REV_1003", "VEN_10EC&DEV_0887", "VEN_10EC"}));
  // One backslash: no head; the "&"-prefixes count only after the backslash.
  EXPECT_EQ(DriverQueryCandidates("US&B\\VID_046D&PID_C52B"),
            (std::vector<std::string>{"US&B\\VID_046D&PID_C52B", "US&B\\VID_046D"}));
  // A leading backslash makes an empty prefix, which is skipped.
  EXPECT_EQ(DriverQueryCandidates("\\A\\B"), (std::vector<std::string>{"\\A", "\\A\\B", "\\A\\"}));
  EXPECT_TRUE(DriverQueryCandidates(" \t").empty());
}

TEST(DriverQueryCandidates, ListStopsAtTwenty) {
  std::string id = "PCI\\X";
  for (int i = 0; i < 30; ++i) id += "&F" + std::to_string(i);
  EXPECT_EQ(DriverQueryCandidates(id).size(), kMaxDriverCandidates);
}

// Serves prepared answer files and records the addresses asked for.
class AnswerFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(std::getenv("HOME")) / ("drivedb-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    SetDriverAnswerFetcherForTesting([this](const std::string& url) -> std::string {
      urls_.push_back(url);
      if (answers_.empty()) return {};
      std::string body = answers_.front();
      answers_.erase(answers_.begin());
      if (body == "<no download>") return {};
      const auto path = dir_ / ("answer" + std::to_string(urls_.size()));
      std::ofstream(path, std::ios::binary) << body;
      return path.string();
    });
  }
  void TearDown() override {
    SetDriverAnswerFetcherForTesting(nullptr);
    std::filesystem::remove_all(dir_);
  }
  static std::string Item(const std::string& chip,
                          const std::string& hid = "PCI\\VEN_1002&DEV_67DF") {
    return "<item><typeid>1</typeid><hardwareid>" + hid + "</hardwareid><chipname>" + chip +
           "</chipname><version>5.6.2</version><drivername>amdgpu</"
           "drivername><manufacturer_en>Advanced Micro "
           "Devices, Inc. [AMD/ATI]</manufacturer_en><releasedate>2020-04-01</releasedate></item>";
  }
  static std::string Answer(const std::string& items) {
    return "<?xml version=\"1.0\"?><db><channel><listCount>1</listCount>" + items +
           "</channel></db>";
  }

  std::filesystem::path dir_;
  std::vector<std::string> answers_;
  std::vector<std::string> urls_;
};

TEST_F(AnswerFiles, FirstItemOfThreeFillsTheRecord) {
  answers_ = {
      Answer(Item("Ellesmere [Radeon RX 470/480/570/580]") + Item("second") + Item("third"))};
  DeviceRecord r{};
  SetRecordText(r.className, "Display");
  const auto trace = QueryDriverDatabaseTraced(
      "PCI\\VEN_1002&DEV_67DF&SUBSYS_E3531DA2&REV_E7\\4&1&0&0008", &r, kBase);
  ASSERT_TRUE(trace.filled);
  EXPECT_EQ(RecordText(r.name), "Ellesmere [Radeon RX 470/480/570/580]");
  EXPECT_EQ(RecordText(r.name2), "Ellesmere [Radeon RX 470/480/570/580]");
  EXPECT_EQ(RecordText(r.instanceId), "PCI\\VEN_1002&DEV_67DF");
  EXPECT_EQ(RecordText(r.manufacturer), "Advanced Micro Devices, Inc. [AMD/ATI]");
  EXPECT_EQ(RecordText(r.driverVersion), "5.6.2");
  EXPECT_EQ(RecordText(r.releaseDate), "2020-04-01");
  EXPECT_EQ(RecordText(r.className), "Display");  // fields the answer has no part in stay
  EXPECT_EQ(r.size, 2168u);
  EXPECT_EQ(urls_.size(), 1u);
}

TEST_F(AnswerFiles, NotFoundOnlyCountsNearTheStart) {
  // An answer whose "not found" starts at the given character, inside a comment of a good list.
  auto mentionAt = [](std::size_t position) {
    const std::string head = "<?xml version=\"1.0\"?><db><!--";
    return head + std::string(position - head.size(), ' ') + "Not Found -->" + "<channel>" +
           Item("late") + "</channel></db>";
  };
  const std::string id = "PCI\\VEN_1002&DEV_67DF&REV_E7\\4&1";
  DeviceRecord r{};
  answers_ = {"not found", mentionAt(99)};
  auto trace = QueryDriverDatabaseTraced(id, &r, kBase);
  ASSERT_EQ(trace.steps.size(), 2u);
  EXPECT_EQ(trace.steps[0].answer, DriverAnswer::kNotFound);
  EXPECT_EQ(trace.steps[1].answer, DriverAnswer::kNotFound);
  EXPECT_FALSE(trace.filled);

  // From the 101st character on it is part of an answer like any other.
  answers_ = {mentionAt(100)};
  r = DeviceRecord{};
  trace = QueryDriverDatabaseTraced(id, &r, kBase);
  EXPECT_TRUE(trace.filled);
  EXPECT_EQ(RecordText(r.name), "late");
}

TEST_F(AnswerFiles, OnlyTheFirstTwoCandidatesAreAskedAndUnusableAnswersAreSkipped) {
  DeviceRecord r{};
  answers_ = {"<no download>", Answer(Item("from the second"))};
  auto trace = QueryDriverDatabaseTraced("PCI\\VEN_1002&DEV_67DF&REV_E7\\4&1", &r, kBase);
  EXPECT_TRUE(trace.filled);
  EXPECT_EQ(trace.steps[0].answer, DriverAnswer::kNoDownload);
  EXPECT_EQ(RecordText(r.name), "from the second");

  for (const std::string& bad :
       {std::string(), std::string("<html>500</html>"), std::string("plain text"), Answer(""),
        std::string("<db><item><chipname>x</chipname></item></db>")}) {
    answers_ = {bad, bad, Answer(Item("never asked"))};
    urls_.clear();
    r = DeviceRecord{};
    EXPECT_EQ(QueryDriverDatabaseTraced("PCI\\VEN_1002&DEV_67DF&REV_E7\\4&1", &r, kBase).filled,
              false)
        << bad;
    EXPECT_EQ(urls_.size(), 2u);
    EXPECT_EQ(RecordText(r.name), "");
  }
}

TEST_F(AnswerFiles, NothingIsAskedForAnEmptyIdANullRecordOrAFullList) {
  DeviceRecord r{};
  answers_ = {Answer(Item("x")), Answer(Item("x"))};
  EXPECT_EQ(QueryDriverDatabase("   ", &r), 0);
  EXPECT_EQ(QueryDriverDatabase("PCI\\VEN_1", nullptr), 0);
  std::string id = "PCI\\X";
  for (int i = 0; i < 25; ++i) id += "&F" + std::to_string(i);
  EXPECT_FALSE(QueryDriverDatabaseTraced(id, &r, kBase).filled);
  EXPECT_TRUE(urls_.empty());
}

TEST_F(AnswerFiles, EachQueryIsEncipheredAfreshAndDecryptsToThePlainAddress) {
  DeviceRecord r{};
  answers_ = {"not found", "not found"};
  const std::string id = "PCI\\VEN_8086&DEV_3E9B&SUBSYS_872F1043&REV_02\\3&11583659&0&10";
  QueryDriverDatabaseTraced(id, &r, kBase);
  answers_ = {"not found"};
  QueryDriverDatabaseTraced("PCI\\VEN_8086&DEV_3E9B&SUBSYS_872F1043&REV_02", &r, kBase);
  ASSERT_EQ(urls_.size(), 4u);  // two candidates asked each time
  // The first candidate of both queries is the same id; its two addresses differ (new salt)
  // but decrypt to the same plain query.
  const std::string prefix = std::string(kBase).substr(0, std::string(kBase).find('?') + 1);
  for (const auto& u : urls_) {
    ASSERT_EQ(u.rfind(prefix, 0), 0u) << u;
    const std::string q = u.substr(prefix.size());
    EXPECT_EQ(q.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  }
  EXPECT_NE(urls_[0], urls_[2]);
  const std::string plain0 = DecryptText(urls_[0].substr(prefix.size()));
  EXPECT_EQ(plain0, DecryptText(urls_[2].substr(prefix.size())));
  EXPECT_EQ(plain0,
            "action=seSearch&version=2.0&os=winxp_32&type=1&typename=&hid="
            "PCI%5CVEN_8086%26DEV_3E9B%26SUBSYS_872F1043%26REV_02");
  EXPECT_EQ(DecryptText(urls_[1].substr(prefix.size())),
            "action=seSearch&version=2.0&os=winxp_32&type=1&typename=&hid="
            "PCI%5CVEN_8086%26DEV_3E9B%26SUBSYS_872F1043%26REV_02%5C3%2611583659%260%2610");
  // A space in an id travels as "+".
  EXPECT_EQ(DriverSearchPlainUrl("http://h/?a=", "A B"), "http://h/?a=&hid=A+B");
}

TEST_F(AnswerFiles, OversizedChipNameLeavesTheNameEmptyButTheRestIsTaken) {
  DeviceRecord r{};
  SetRecordText(r.name, "enumerated name");
  answers_ = {Answer(Item(std::string(600, 'x')))};
  ASSERT_TRUE(QueryDriverDatabaseTraced("PCI\\VEN_1002&DEV_67DF&REV_E7\\4&1", &r, kBase).filled);
  EXPECT_EQ(RecordText(r.name), "");
  EXPECT_EQ(RecordText(r.name2), "");
  EXPECT_EQ(RecordText(r.instanceId), "PCI\\VEN_1002&DEV_67DF");
}

}  // namespace
}  // namespace korvane
