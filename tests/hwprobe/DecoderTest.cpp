// SPD and SMBIOS decoding against real module and firmware bytes, and survival of bad bytes.
#include <gtest/gtest.h>

#include <random>

#include "QmHdwApi.h"
#include "Smbios.h"
#include "Spd.h"
#include "TestData.h"

using namespace korvane::hwprobe;

TEST(Spd, DecodesDdr3Ddr4Ddr5ModulesAsTheirMakersDescribeThem) {
  auto ddr3 = DecodeSpd(ReadBytes("hwprobe/spd/ddr3_Samsung_M393B4G70BM0-CMA09.bin"));
  ASSERT_TRUE(ddr3);
  EXPECT_EQ(ddr3->typeCode, qmhdw::kMemDdr3);
  EXPECT_EQ(ddr3->sizeMB, 32768);
  EXPECT_EQ(ddr3->maxClockMHz, 933);  // DDR3-1866
  EXPECT_EQ(ddr3->manufacturer, "Samsung");
  EXPECT_EQ(ddr3->partNumber, "M393B4G70BM0-CMA");
  EXPECT_NEAR(ddr3->tAA, 13.125, 1e-6);
  EXPECT_EQ(ddr3->casLatencies, (std::vector<int>{6, 7, 8, 9, 10, 11, 13}));

  auto ddr4 = DecodeSpd(ReadBytes("hwprobe/spd/ddr4_Micron_36ASF8G72PZ-3G2E1.bin"));
  ASSERT_TRUE(ddr4);
  EXPECT_EQ(ddr4->typeCode, qmhdw::kMemDdr4);
  EXPECT_EQ(ddr4->sizeMB, 65536);
  EXPECT_EQ(ddr4->maxClockMHz, 1600);  // DDR4-3200: the clock, not the data rate
  EXPECT_EQ(ddr4->manufacturer, "Micron Technology");
  EXPECT_EQ(ddr4->partNumber, "36ASF8G72PZ-3G2E1");
  EXPECT_NEAR(ddr4->tAA, 13.75, 1e-6);

  auto ddr5 = DecodeSpd(ReadBytes("hwprobe/spd/ddr5_Micron_MTC40F2046S1RC48BA1.bin"));
  ASSERT_TRUE(ddr5);
  EXPECT_EQ(ddr5->typeCode, qmhdw::kMemDdr5);
  EXPECT_EQ(ddr5->sizeMB, 65536);      // 2 sub-channels x 8 x4 dies x 16 Gbit x 2 ranks
  EXPECT_EQ(ddr5->maxClockMHz, 2400);  // tCK 416 ps is DDR5-4800
  EXPECT_EQ(ddr5->ranks, 2);
  EXPECT_EQ(ddr5->manufacturer, "Micron Technology");

  auto ddr2 = DecodeSpd(ReadBytes("hwprobe/spd/DDR2-2G-UDIMM.spd"));
  ASSERT_TRUE(ddr2);
  EXPECT_EQ(ddr2->typeCode, qmhdw::kMemDdr2);
}

TEST(Spd, TimingsFollowTheModulesMinimumTimesAndSupportedLatencies) {
  auto ddr4 = DecodeSpd(ReadBytes("hwprobe/spd/ddr4_Micron_36ASF8G72PZ-3G2E1.bin"));
  ASSERT_TRUE(ddr4);
  auto table = BuildTimingTable(*ddr4);
  ASSERT_GE(table.size(), 3u);
  EXPECT_EQ(table[0].frequencyMHz, 1600);
  EXPECT_EQ(table[0].cas, 22);  // 13.75 ns at 0.625 ns
  EXPECT_EQ(table[1].frequencyMHz, 1466);
  for (std::size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(table[i].frequencyMHz, table[i - 1].frequencyMHz);
    EXPECT_LE(table[i].cas, table[i - 1].cas);
  }
  auto at1200 = TimingsAt(*ddr4, 1200);
  ASSERT_TRUE(at1200);
  EXPECT_EQ(at1200->cas, 17);  // 16.5 clocks rounds up; 17 is supported
  // A time that is a whole number of clocks within the guard band costs no extra clock.
  EXPECT_EQ(ClocksFor(13.75, 1600), 22);
  EXPECT_EQ(ClocksFor(13.76, 1600), 22);
  EXPECT_EQ(ClocksFor(13.80, 1600), 23);
  EXPECT_EQ(ClocksFor(-1, 1600), -1);
}

TEST(Spd, ManufacturerCodesNeedTheRightBank) {
  EXPECT_EQ(Jep106Name(0x80, 0xCE), "Samsung");
  EXPECT_EQ(Jep106Name(0x01, 0x98), "Kingston");
  EXPECT_EQ(Jep106Name(0x80, 0x98), "Kioxia Corporation");  // same code, first bank
  EXPECT_EQ(Jep106Name(0x8A, 0xC8), "Advantech");
  EXPECT_EQ(Jep106Name(0x7F, 0x7F), "");
  // Makers far down the list: bank 5, 6 and 11.
  EXPECT_EQ(Jep106Name(0x04, 0x43), "Ramaxel Technology");
  EXPECT_EQ(Jep106Name(0x85, 0x9B), "Crucial Technology");
  EXPECT_EQ(Jep106Name(0x0A, 0x11), "CXMT");
  EXPECT_EQ(Jep106Name(0x0D, 0x01), "");  // past the last bank
}

// Firmware that writes the maker's JEDEC bytes as hex text, as recorded in real SMBIOS tables.
TEST(Spd, MakersWrittenAsJedecHexText) {
  EXPECT_EQ(Jep106NameFromText("859B            "), "Crucial Technology");  // ThinkPad W510
  EXPECT_EQ(Jep106NameFromText("00AD00B300AD"), "SK Hynix");                // Dell DCS8000Z
  EXPECT_EQ(Jep106NameFromText("80CE000080CE"), "Samsung");
  EXPECT_EQ(Jep106NameFromText("0x802C"), "Micron Technology");
  EXPECT_EQ(Jep106NameFromText("7F7F7F7F7F510000"), "Qimonda");
  EXPECT_EQ(Jep106NameFromText("Unknown (80AD)"), "SK Hynix");
  EXPECT_EQ(Jep106NameFromText("AD80"), "SK Hynix");  // bytes the other way round
  for (const char* none : {"0000", "1315", "Kingston", "7F7F", "80A", "", "Unknown", "80ZZ"})
    EXPECT_EQ(Jep106NameFromText(none), "") << none;
}

TEST(Spd, TruncatedAndGarbageImagesNeverReadPastTheirBytes) {
  for (const char* file : {"hwprobe/spd/ddr3_Samsung_M393B4G70BM0-CMA09.bin",
                           "hwprobe/spd/ddr4_Micron_36ASF8G72PZ-3G2E1.bin",
                           "hwprobe/spd/ddr5_Micron_MTC40F2046S1RC48BA1.bin"}) {
    const auto full = ReadBytes(file);
    for (std::size_t n = 0; n <= full.size(); n += 7) {
      std::vector<std::uint8_t> part(full.begin(), full.begin() + static_cast<long>(n));
      auto m = DecodeSpd(part);  // ASan reports any read past `part`
      if (m && m->sizeMB > 0) {
        EXPECT_LE(m->sizeMB, 1 << 22);
      }
      if (m) (void)BuildTimingTable(*m);
    }
  }
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rng() % 1100));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    if (bytes.size() > 2)
      bytes[2] = static_cast<std::uint8_t>(std::vector<int>{0x0B, 0x0C, 0x12, 0x08}[rng() % 4]);
    if (auto m = DecodeSpd(bytes)) {
      for (const auto& e : BuildTimingTable(*m)) EXPECT_GT(e.frequencyMHz, 0);
    }
  }
}

namespace {
std::vector<std::uint8_t> GigabyteTable() {
  auto dump = ReadBytes("hwprobe/smbios/Gigabyte-GA-MA74GMT-S2.dump.bin");
  return {dump.begin() + 0x20, dump.end()};
}
}  // namespace

TEST(Smbios, ReadsFirmwareBoardAndMemorySlotsOfARealTable) {
  SmbiosInfo info = ParseSmbiosTable(GigabyteTable());
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.biosVendor, "Award Software International, Inc.");
  EXPECT_EQ(info.biosVersion, "F8");
  EXPECT_EQ(info.biosDate, "08/03/2010");
  EXPECT_EQ(info.boardVendor, "Gigabyte Technology Co., Ltd.");
  EXPECT_EQ(info.boardProduct, "GA-MA74GMT-S2");
  ASSERT_EQ(info.devices.size(), 4u);
  EXPECT_EQ(info.devices[0].sizeMB, 0);
  EXPECT_EQ(info.devices[0].locator, "A0");
  EXPECT_EQ(info.devices[2].sizeMB, 1024);
  EXPECT_EQ(info.devices[2].locator, "A2");
  EXPECT_EQ(info.devices[2].speedMTs, 1066);
}

TEST(Smbios, TruncatedOrCorruptTablesStopCleanly) {
  const auto table = GigabyteTable();
  for (std::size_t n = 0; n < table.size(); n += 3) {
    SmbiosInfo info = ParseSmbiosTable(std::span(table.data(), n));
    EXPECT_LE(info.devices.size(), 4u);
  }
  // A structure whose length runs past the end, or is shorter than a header.
  std::vector<std::uint8_t> bad = {17, 0xF0, 0, 0, 1, 2, 3};
  EXPECT_FALSE(ParseSmbiosTable(bad).valid);
  bad = {17, 2, 0, 0, 0, 0};
  EXPECT_FALSE(ParseSmbiosTable(bad).valid);
  // String indexes that point nowhere give empty texts.
  std::vector<std::uint8_t> strings = {0, 0x18, 0, 0, 9, 9, 0, 0, 9, 0, 0,   0, 0, 0,
                                       0, 0,    0, 0, 0, 0, 0, 0, 0, 0, 'x', 0, 0};
  SmbiosInfo info = ParseSmbiosTable(strings);
  EXPECT_TRUE(info.valid);
  EXPECT_EQ(info.biosVendor, "");
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rng() % 300));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? 17 : rng());
    (void)ParseSmbiosTable(bytes);
  }
}

TEST(Smbios, MemoryTypesMapToOurCodes) {
  EXPECT_EQ(MemoryTypeFromSmbios(0x18), qmhdw::kMemDdr3);
  EXPECT_EQ(MemoryTypeFromSmbios(0x1A), qmhdw::kMemDdr4);
  EXPECT_EQ(MemoryTypeFromSmbios(0x22), qmhdw::kMemDdr5);
  EXPECT_EQ(MemoryTypeFromSmbios(0x1E), qmhdw::kMemDdr4);  // LPDDR4
  EXPECT_EQ(MemoryTypeFromSmbios(0x02), -1);
}

// Strings of firmware tables and EEPROMs reach names and device ids: control characters and
// bytes that are not UTF-8 must not, while real UTF-8 text stays as written.
TEST(TextBytes, FirmwareStringsBecomeCleanUtf8) {
  std::vector<std::uint8_t> table = {1, 8, 0, 0, 1, 2, 3, 0};  // type 1: vendor, product, version
  for (const std::string& s :
       {std::string("\x01Vendor\x1b[2J\x7f"), std::string("Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87"),
        std::string("X\xff\xfe\xc3(\xed\xa0\x80\xc2\x85Y\xe2\x82")}) {
    table.insert(table.end(), s.begin(), s.end());
    table.push_back(0);
  }
  table.insert(table.end(), {0, 127, 4, 1, 0, 0, 0});
  const SmbiosInfo info = ParseSmbiosTable(table);
  EXPECT_EQ(info.systemVendor, "Vendor [2J");
  EXPECT_EQ(info.systemProduct, "Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87");
  EXPECT_EQ(info.systemVersion, "X ( Y");  // invalid, surrogate, C1 and cut sequences

  auto ddr4 = ReadBytes("hwprobe/spd/ddr4_Micron_36ASF8G72PZ-3G2E1.bin");
  ASSERT_GE(ddr4.size(), 349u);
  const char part[] = "36ASF\x07\x1b\xc0\xaf-3G2\xff\xff\xff\xff\xff\xff\xff\xff";
  std::copy(part, part + 20, ddr4.begin() + 329);
  auto spd = DecodeSpd(ddr4);
  ASSERT_TRUE(spd);
  EXPECT_EQ(spd->partNumber, "36ASF -3G2");
}
