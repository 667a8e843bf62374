// How SMBIOS slots and SPD images become the module list, channels and current timings.
#include <gtest/gtest.h>

#include "HwProbe.h"
#include "QmHdwApi.h"
#include "TestData.h"

using namespace korvane::hwprobe;

TEST(MemoryChannels, LocatorsOfCommonBoardsName_TheirChannel) {
  EXPECT_EQ(ChannelOfLocator("ChannelA-DIMM0", "BANK 0"), 0);
  EXPECT_EQ(ChannelOfLocator("DIMM 0", "P0 CHANNEL B"), 1);
  EXPECT_EQ(ChannelOfLocator("DIMM_A1", "BANK 0"), 0);
  EXPECT_EQ(ChannelOfLocator("DIMM_B2", ""), 1);
  EXPECT_EQ(ChannelOfLocator("A2_DIMM0", "A2_BANK0"), 0);
  EXPECT_EQ(ChannelOfLocator("ChB_Dimm0", ""), 1);
  EXPECT_EQ(ChannelOfLocator("DIMM0", "BANK 0"), -1);
  EXPECT_EQ(ChannelOfLocator("", ""), -1);
}

namespace {
SmbiosMemoryDevice Dimm(const char* loc, int sizeMB, const char* serial = "") {
  SmbiosMemoryDevice d;
  d.locator = loc;
  d.sizeMB = sizeMB;
  d.smbiosType = sizeMB ? 0x1A : 0x02;
  d.speedMTs = sizeMB ? 3200 : 0;
  d.configuredMTs = sizeMB ? 2400 : 0;
  d.manufacturer = sizeMB ? "Micron" : "";
  d.serialNumber = serial;
  return d;
}
}  // namespace

TEST(MemoryFacts, SlotsFromFirmwareAndDetailsFromTheModulesEeprom) {
  auto spd = DecodeSpd(ReadBytes("hwprobe/spd/ddr4_Micron_36ASF8G72PZ-3G2E1.bin"));
  ASSERT_TRUE(spd);
  SmbiosInfo smbios;
  smbios.devices = {Dimm("DIMM_A1", 0), Dimm("DIMM_A2", 65536, spd->serialNumber.c_str()),
                    Dimm("DIMM_B1", 0), Dimm("DIMM_B2", 65536, "0x00000000")};
  MemoryFacts m = BuildMemoryFacts(smbios, {{1, *spd}}, 0);
  EXPECT_EQ(m.slotCount, 4);
  EXPECT_EQ(m.populatedMask, 0b1010u);
  ASSERT_EQ(m.modules.size(), 2u);
  EXPECT_EQ(m.modules[0].slot, 1);
  EXPECT_EQ(m.modules[0].partNumber, "36ASF8G72PZ-3G2E1");  // joined by serial number
  EXPECT_EQ(m.modules[0].maxClockMHz, 1600);
  EXPECT_FALSE(m.modules[1].spd.has_value());
  EXPECT_EQ(m.modules[1].maxClockMHz, 1600);  // 3200 MT/s from the firmware is 1600 MHz
  EXPECT_EQ(m.modules[1].manufacturer, "Micron");
  EXPECT_EQ(m.totalMB, 131072);
  EXPECT_EQ(m.channels, 2);
  EXPECT_DOUBLE_EQ(m.clockMHz, 1200);  // the configured speed, not the rated one
  ASSERT_TRUE(m.timings);
  EXPECT_EQ(m.timings->cas, 17);
  EXPECT_EQ(m.typeCode, qmhdw::kMemDdr4);
}

TEST(MemoryFacts, WithoutFirmwareTablesTheEepromsOrMeminfoStillAnswer) {
  auto spd = DecodeSpd(ReadBytes("hwprobe/spd/ddr5_Micron_MTC40F2046S1RC48BA1.bin"));
  ASSERT_TRUE(spd);
  MemoryFacts m = BuildMemoryFacts(SmbiosInfo{}, {{0, *spd}, {2, *spd}}, 1000000);
  ASSERT_EQ(m.modules.size(), 2u);
  EXPECT_EQ(m.populatedMask, 0b101u);
  EXPECT_EQ(m.slotCount, 4);
  EXPECT_EQ(m.totalMB, 131072);
  EXPECT_EQ(m.typeCode, qmhdw::kMemDdr5);
  EXPECT_EQ(m.channels, -1);  // nothing says which channel an EEPROM sits on
  EXPECT_LT(m.clockMHz, 0);   // nor at which speed the firmware runs the modules
  EXPECT_FALSE(m.timings);

  MemoryFacts bare = BuildMemoryFacts(SmbiosInfo{}, {}, 24683520);
  EXPECT_TRUE(bare.modules.empty());
  EXPECT_EQ(bare.totalMB, 24105);
  EXPECT_EQ(bare.typeCode, -1);
  EXPECT_LT(bare.clockMHz, 0);
  EXPECT_FALSE(bare.timings);
}

// SMBIOS gives transfer rates; only double-data-rate memory runs its clock at half of that.
TEST(MemoryFacts, ClocksHalveOnlyForDoubleDataRateMemory) {
  struct Case {
    int smbiosType, speed, configured;
    int wantMax;
    double wantClock;
  };
  const Case cases[] = {
      {0x0F, 133, 133, 133, 133},    // PC133 SDRAM
      {0x0F, 100, 0, 100, 100},      // PC100, no configured speed: the rated one
      {0x12, 400, 333, 200, 166.5},  // DDR-400 run at 333 MT/s
      {0x11, 800, 800, 400, 400},    // RDRAM PC800
      {0x18, 1333, 1333, 666, 666.5}, {0x23, 6400, 6400, 3200, 3200},  // LPDDR5
      {0x02, 2400, 2400, 1200, 1200},  // "Unknown" type, but no SDR module ever ran at 2400
      {0x02, 100, 100, 100, 100},
  };
  for (const Case& c : cases) {
    SmbiosInfo smbios;
    SmbiosMemoryDevice d;
    d.locator = "DIMM0";
    d.sizeMB = 256;
    d.smbiosType = c.smbiosType;
    d.speedMTs = c.speed;
    d.configuredMTs = c.configured;
    smbios.devices = {d};
    const MemoryFacts m = BuildMemoryFacts(smbios, {}, 0);
    ASSERT_EQ(m.modules.size(), 1u);
    EXPECT_EQ(m.modules[0].maxClockMHz, c.wantMax) << c.smbiosType << " " << c.speed;
    EXPECT_DOUBLE_EQ(m.clockMHz, c.wantClock) << c.smbiosType << " " << c.speed;
  }
}
