// The submission's pieces: the anonymous name and its settings file, the query's order and
// encoding, the body, and the two exchanges' failure values.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <regex>

#include "config/IniFile.h"
#include "online/ScoreSubmit.h"
#include "platform/Http.h"
#include "scores/TextCipher.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class TempIni {
 public:
  TempIni() {
    std::string pattern = std::string(std::getenv("HOME")) + "/submit-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
  }
  ~TempIni() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path() const { return (dir_ / "tovix2.ini").string(); }
  void Write(const std::string& text) const { std::ofstream(path()) << text; }
  std::string Stored() const {
    CIniFile ini(path());
    std::string v;
    ini.Read("Tovix2", "RandomUserName", v);
    return v;
  }

 private:
  fs::path dir_;
};

bool InAlphabet(const std::string& s) {
  return s.find_first_not_of(kUserNameAlphabet) == std::string::npos;
}

TEST(RandomUserName, CreatedOnceAsALetterAndFourteenAlphabetCharactersThenReused) {
  TempIni ini;
  const std::string name = GetRandomUserName(ini.path());
  ASSERT_EQ(name.size(), 15u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(name[0])));
  EXPECT_TRUE(InAlphabet(name));
  EXPECT_EQ(ini.Stored(), name);
  EXPECT_EQ(GetRandomUserName(ini.path()), name);
}

TEST(RandomUserName, SpacesOnlyCountAsEmptyAndLongNamesAreCut) {
  TempIni ini;
  ini.Write("[Tovix2]\nRandomUserName=     \n");
  const std::string fresh = GetRandomUserName(ini.path());
  EXPECT_EQ(fresh.size(), 15u);
  EXPECT_EQ(ini.Stored(), fresh);

  ini.Write("[Tovix2]\nRandomUserName=  ABCDEFGHIJKLMNOPQRSTUVWXYZ  \n");
  EXPECT_EQ(GetRandomUserName(ini.path()), "ABCDEFGHIJKLMNO");
  // A kept name is not rewritten.
  EXPECT_EQ(ini.Stored(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

TEST(RandomUserName, AnUnwritableFileStillGivesANameForThisSubmission) {
  const std::string name = GetRandomUserName("/proc/self/no-such-folder/tovix2.ini");
  EXPECT_EQ(name.size(), 15u);
}

TEST(RandomText, FollowsTheRuntimeSequenceAndIsCutToLength) {
  SeedSaltGenerator(42);
  const std::string a = MakeRandomText(12);
  SeedSaltGenerator(42);
  EXPECT_EQ(MakeRandomText(15).substr(0, 12), a);
  EXPECT_EQ(a.size(), 12u);
  EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(a[0])));
  EXPECT_EQ(MakeRandomText(40).size(), 15u);
  EXPECT_EQ(MakeRandomText(0), "");
}

TEST(OsNameText, ServicePackWordsAreShortenedAndAnEmptyBuildLeavesTheNameAlone) {
  EXPECT_EQ(FormatOsNameText("Windows XP", "Service Pack 3"), "Windows XP, SP3");
  EXPECT_EQ(FormatOsNameText("W", "service pack 2 (Service Pack)"), "W, SP2 (SP)");
  EXPECT_EQ(FormatOsNameText("Debian GNU/Linux 12 (bookworm)", ""),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_FALSE(BuildOsNameText().empty());
}

ProfileTexts Texts() {
  ProfileTexts t;
  t.cpuCaption = "Intel Core i7 @ 3.40GHz";
  t.cpuProfile = "Intel Core i7 @ 3.40GHz";
  t.boardCaption = "Board X";
  t.memoryProfile = "M DDR4 2133MHz ( 8GB ) @ 1066.0MHz";
  t.memoryCaptionString = "M DDR4 2133MHz ( 8GB )";
  t.video = "GPU";
  t.monitor = "Mon";
  t.disk = "Disk ( 500GB )";
  t.network = "Net";
  t.sound = "Snd";
  return t;
}
const SubmissionIdentity kId{"Abcdefghijklmno", "linux_64", "Debian 12, 6.1"};

TEST(ScoreQuery, PartsInTheirOrderWithOnlyTheScoresInRange) {
  const std::string q = BuildScoreQuery(Texts(), kId, 0, 6.21f, 0, "Abcdefghijkl");
  EXPECT_EQ(q, "action=seScore&type=1&version=1.1&username=Abcdefghijklmno&featureid=" +
                   BuildProfileText(Texts(), kId) +
                   "&os=linux_64&osname=Debian+12%2C+6.1&cpu=Intel+Core+i7+%40+3.40GHz&cpuid="
                   "&board=Board+X&memory=M+DDR4+2133MHz+%28+8GB+%29+%40+1066.0MHz&video=GPU"
                   "&monitor=Mon&disk=Disk+%28+500GB+%29&network=Net&sound=Snd&cdrom="
                   "&fileversion=3.0.603.1&scoreversion=1.2&cpuscore=6.21&rndnum=" +
                   HexEncodeText("Abcdefghijkl"));
  EXPECT_TRUE(std::regex_search(q, std::regex("&rndnum=[0-9A-F]{24}$")));

  const std::string all = BuildScoreQuery(Texts(), kId, 0.004f, 6.999f, 2.5f, "Abcdefghijkl");
  EXPECT_NE(all.find("&scoreversion=1.2&score=0.00&cpuscore=7.00&memscore=2.50&rndnum="),
            std::string::npos);
  const std::string none = BuildScoreQuery(Texts(), kId, 7.0f, -1.0f, 0, "Abcdefghijkl");
  EXPECT_NE(none.find("&scoreversion=1.2&rndnum="), std::string::npos);
}

TEST(ScoreQuery, TheFeatureIdHashesTheUnencodedProfileWithItsQuirks) {
  const std::string expected = Md5HexText(
      "os=linux_64&osname=Debian 12, 6.1cpu=Intel Core i7 @ 3.40GHz&cpuid=&board=Board X"
      "&memory=M DDR4 2133MHz ( 8GB )&username=Abcdefghijklmno");
  EXPECT_EQ(BuildProfileText(Texts(), kId), expected);
  EXPECT_TRUE(std::regex_match(expected, std::regex("[0-9a-f]{32}")));
  ProfileTexts other = Texts();
  other.video = "another GPU";  // not part of the fingerprint
  EXPECT_EQ(BuildProfileText(other, kId), expected);
}

TEST(ScoreQuery, ScoresAreFormattedWithoutTheLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) std::setlocale(LC_NUMERIC, "C.UTF-8");
  EXPECT_EQ(ScorePart(6.21f), "6.21");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(ScorePart(0.0f), "");
  EXPECT_EQ(ScorePart(7.0f), "");
  EXPECT_EQ(ScorePart(6.998f), "7.00");  // in range, so sent as the format gives it
}

TEST(SubmissionBody, HexOfTheQueryUnderTheSeedsKey) {
  const std::string body = BuildSubmissionBody(Texts(), kId, 0, 3.5f, 0, "Zq3_x9Pa");
  ASSERT_EQ(body.rfind("data=", 0), 0u);
  const std::string hex = body.substr(5);
  EXPECT_EQ(hex.size() % 32, 0u);
  EXPECT_TRUE(std::regex_match(hex, std::regex("[0-9a-f]+")));
}

TEST(KeyAnswer, TheSeedIsAtMostTheFirstEightCharacters) {
  EXPECT_EQ(SeedFromKeyAnswer("abcdefghijk"), "abcdefgh");
  EXPECT_EQ(SeedFromKeyAnswer("abcde"), "abcde");
  EXPECT_EQ(SeedFromKeyAnswer(""), "");
}

TEST(Exchanges, FailureValuesAndNothingPostedWithoutAKey) {
  std::string body;
  EXPECT_EQ(HttpGetText("not a url", body), platform::kHttpBadUrl);
  // A port nobody listens on: bind one, note it and close it.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  const std::string base = "http://127.0.0.1:" + std::to_string(ntohs(a.sin_port));
  std::string response;
  EXPECT_EQ(HttpPostForm(base + "/?action=seScore&version=2.32", "data=00", response),
            platform::kHttpNotSent);
  EXPECT_TRUE(response.empty());
  TempIni ini;
  const SubmitOutcome out = SubmitScores([] { return Texts(); }, 0, 5, 0, base, ini.path());
  EXPECT_EQ(out.keyStatus, platform::kHttpNotSent);
  EXPECT_EQ(out.submitStatus, 0u);
}

}  // namespace
}  // namespace korvane
