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
  smbios.devices = {Dimm("DIMM_A1", 0), Dimm("DIMM_A2", 65536, spd->serialNumber.c_str()), Dimm("DIMM_B1", 0),
                    Dimm("DIMM_B2", 65536, "0x00000000")};
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
