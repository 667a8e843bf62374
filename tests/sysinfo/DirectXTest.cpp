#include <gtest/gtest.h>

#include <map>

#include "sysinfo/DirectX.h"

namespace korvane {
namespace {

FileVersionLookup Files(std::map<std::string, std::uint64_t> files) {
  return [files = std::move(files)](std::string_view name) -> std::optional<std::uint64_t> {
    const auto it = files.find(std::string(name));
    if (it == files.end()) return std::nullopt;
    return it->second;
  };
}

TEST(DirectXMapping, WindowsXpTable) {
  std::string out;
  const std::pair<const char*, const char*> cases[] = {
      {"4.09.00.0904", "9.0c"}, {"4.09.0000.0904", "9.0c"}, {"4.09.00.0903", "9.0c"}, {"4.09.0000.0903", "9.0c"},
      {"4.09.00.0902", "9.0b"}, {"4.09.0000.0902", "9.0b"}, {"4.09.00.0901", "9.0a"}, {"4.09.0000.0901", "9.0a"},
      {"4.09.00.0900", "9.0"},  {"4.09.0000.0900", "9.0"},  {"4.10.00.0000", "10.0"}, {"4.10.7", "10.0"},
      {"4.11.00.1", "11.0"},    {"4.11.", "11.0"}};
  for (const auto& [registry, display] : cases) {
    out.clear();
    EXPECT_EQ(MapDirectXVersion(&out, registry, false, false), 1) << registry;
    EXPECT_EQ(out, display) << registry;
  }
}

TEST(DirectXMapping, UnknownTextsLeaveTheBufferAlone) {
  std::string out = "keep";
  for (const char* registry : {"4.08.01.0881", "4.09.00.0904 ", "4.09.00.09045", "4.1", "", "4.100"}) {
    EXPECT_EQ(MapDirectXVersion(&out, registry, false, false), 0) << registry;
    EXPECT_EQ(out, "keep");
  }
  EXPECT_EQ(MapDirectXVersion(nullptr, "4.09.00.0904", false, false), 0);
}

TEST(DirectXMapping, NewerSystemsIgnoreTheTable) {
  std::string out;
  EXPECT_EQ(MapDirectXVersion(&out, "4.09.00.0904", true, false), 1);
  EXPECT_EQ(out, "11.0");
  EXPECT_EQ(MapDirectXVersion(&out, "anything", true, true), 1);
  EXPECT_EQ(out, "11.0");
  EXPECT_EQ(MapDirectXVersion(&out, "4.09.00.0904", false, true), 1);
  EXPECT_EQ(out, "10.0");
  EXPECT_EQ(MapDirectXVersion(&out, "4.11.00.0000", false, true), 1);
  EXPECT_EQ(out, "11.0");
}

TEST(DirectXFiles, LaterRowsOverrideEarlierOnes) {
  EXPECT_EQ(DirectXFromFileVersions(Files({})), (DirectXVersion{0, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 2, 0, 95)}})), (DirectXVersion{1, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 2, 0, 94)}})), (DirectXVersion{0, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 6, 0, 436)}})), (DirectXVersion{6, 1, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 6, 0, 436)},
                                           {"dplayx.dll", MakeFileVersion(4, 6, 3, 518)}})),
            (DirectXVersion{6, 1, 'a'}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 4, 0, 68)},
                                           {"d3drg8x.dll", MakeFileVersion(4, 4, 0, 70)}})),
            (DirectXVersion{3, 0, 'a'}));
  // A newer ddraw overrides the 3.0a that an older row set.
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(4, 7, 0, 700)},
                                           {"d3drg8x.dll", MakeFileVersion(4, 4, 0, 70)}})),
            (DirectXVersion{7, 0, ' '}));
}

TEST(DirectXFiles, MajorFiveFilesUseTheirOwnThresholds) {
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(5, 1, 2258, 400)}})),
            (DirectXVersion{8, 0, ' '}));
  // 5.1.2257.x is above every major-4 threshold but below the major-5 one for 8.0.
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(5, 1, 2257, 999)}})),
            (DirectXVersion{7, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"ddraw.dll", MakeFileVersion(5, 1, 2600, 0)},
                                           {"d3d8.dll", MakeFileVersion(5, 1, 2600, 901)},
                                           {"mpg2splt.ax", MakeFileVersion(6, 3, 1, 885)}})),
            (DirectXVersion{8, 1, 'b'}));
  // A major-6 ddraw satisfies no 8.0 row (only majors 4 and 5 are listed).
  EXPECT_EQ(DirectXFromFileVersions(Files({{"dpnet.dll", MakeFileVersion(6, 0, 0, 0)}})), (DirectXVersion{0, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"dpnet.dll", MakeFileVersion(5, 2, 3677, 134)}})),
            (DirectXVersion{8, 2, ' '}));
}

TEST(DirectXFiles, AnyD3d9EndsAtNine) {
  EXPECT_EQ(DirectXFromFileVersions(Files({{"d3d9.dll", 0}})), (DirectXVersion{9, 0, ' '}));
  EXPECT_EQ(DirectXFromFileVersions(Files({{"dpnet.dll", MakeFileVersion(5, 2, 3677, 134)},
                                           {"d3d9.dll", MakeFileVersion(5, 3, 2600, 5512)}})),
            (DirectXVersion{9, 0, ' '}));
}

TEST(DirectXOnLinux, NoDirectXIsInstalled) {
  DirectXVersion v{9, 9, 'z'};
  EXPECT_EQ(GetDirectXVersion(&v), 1);
  EXPECT_EQ(v, (DirectXVersion{0, 0, ' '}));
  EXPECT_EQ(GetDirectXVersion(nullptr), 0);
  std::string text = "keep";
  EXPECT_EQ(GetDirectXRegistryVersion(&text), 0);
  EXPECT_EQ(text, "keep");
}

}  // namespace
}  // namespace korvane
