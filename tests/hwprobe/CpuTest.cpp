// Processor identification texts, the model table and the sensor-chip naming rules.
#include <gtest/gtest.h>

#include "Cpu.h"
#include "CpuModels.h"
#include "Hwmon.h"
#include "QmHdwApi.h"

using namespace korvane::hwprobe;

TEST(ProcessorText, ShortNamesDropMarksClocksAndCoreCounts) {
  EXPECT_EQ(ShortProcessorName("Intel(R) Core(TM) i7-6700K CPU @ 4.00GHz"), "Intel Core i7-6700K");
  EXPECT_EQ(ShortProcessorName("Intel(R) Core(TM)2 Quad  CPU   Q6600  @ 2.40GHz"),
            "Intel Core2 Quad Q6600");
  EXPECT_EQ(ShortProcessorName("AMD Ryzen 9 7900X 12-Core Processor"), "AMD Ryzen 9 7900X");
  EXPECT_EQ(ShortProcessorName("AMD Ryzen 7 5700U with Radeon Graphics"), "AMD Ryzen 7 5700U");
  // The Strix Point brand of the hwloc recording, padded as the processor returns it.
  EXPECT_EQ(ShortProcessorName("AMD Ryzen AI 9 HX 370 w/ Radeon 890M           "),
            "AMD Ryzen AI 9 HX 370");
  EXPECT_EQ(ShortProcessorName("AMD Ryzen 5 8600G w/ Radeon 760M Graphics"), "AMD Ryzen 5 8600G");
  EXPECT_EQ(ShortProcessorName("AMD Ryzen Threadripper PRO 3955WX 16-Cores"),
            "AMD Ryzen Threadripper PRO 3955WX");
  EXPECT_EQ(ShortProcessorName("Intel(R) Xeon(R) CPU E7- 4870  @ 2.40GHz"), "Intel Xeon E7-4870");
  EXPECT_EQ(ShortProcessorName("13th Gen Intel(R) Core(TM) i7-1370P"), "Intel Core i7-1370P");
  EXPECT_EQ(ShortProcessorName("AMD Phenom(tm) II X4 940 Black Edition"),
            "AMD Phenom II X4 940 Black Edition");
  EXPECT_EQ(ShortProcessorName(""), "");
}

TEST(ProcessorText, StockClockFromTheBrandString) {
  EXPECT_EQ(ClockFromBrand("Intel(R) Core(TM) i5-3570K CPU @ 3.40GHz"), 3400);
  EXPECT_EQ(ClockFromBrand("Intel(R) Pentium(R) III CPU @ 933MHz"), 933);
  EXPECT_EQ(ClockFromBrand("AMD Ryzen 9 7900X 12-Core Processor"), -1);
  EXPECT_EQ(ClockFromBrand("odd @ GHz"), -1);
  EXPECT_EQ(ClockFromBrand("odd @ -3GHz"), -1);
}

TEST(ProcessorText, ProcessorListsAndCpuinfoSurviveOddInput) {
  EXPECT_EQ(ParseCpuList("0-3,8,10-11\n"), (std::vector<int>{0, 1, 2, 3, 8, 10, 11}));
  EXPECT_TRUE(ParseCpuList("5-2").empty());
  EXPECT_TRUE(ParseCpuList("x,-,").empty());
  auto entries = ParseCpuinfo(
      "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 94\nmodel name\t: "
      "Intel(R) Core(TM) "
      "i7-6700K CPU @ 4.00GHz\ncpu MHz\t\t: 4200.000\nphysical id\t: 0\ncore id\t\t: "
      "3\n\nprocessor\t: 1\ncpu MHz : "
      "nan\ngarbage line\n: : :\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].model, 94);
  EXPECT_EQ(entries[0].coreId, 3);
  EXPECT_DOUBLE_EQ(entries[0].mhz, 4200.0);
  EXPECT_EQ(entries[1].mhz, 0);  // "nan" is no clock
  EXPECT_TRUE(ParseCpuinfo(std::string(5000, ':')).empty());
}

TEST(ProcessorText, CacheSizesThatDoNotFitAreNoSizes) {
  EXPECT_EQ(ParseCacheSizeKB("32K"), 32);
  EXPECT_EQ(ParseCacheSizeKB("8M\n"), 8192);
  EXPECT_EQ(ParseCacheSizeKB("1G"), 1048576);
  EXPECT_EQ(ParseCacheSizeKB("2047G"), 2047 * 1048576);
  EXPECT_EQ(ParseCacheSizeKB("2048G"), 0);
  EXPECT_EQ(ParseCacheSizeKB("99999999999999999G"), 0);
  EXPECT_EQ(ParseCacheSizeKB("9223372036854775807"), 0);
  EXPECT_EQ(ParseCacheSizeKB("184467440737095516160K"), 0);
  EXPECT_EQ(ParseCacheSizeKB("-32K"), 0);
  EXPECT_EQ(ParseCacheSizeKB("32Q"), 0);
  EXPECT_EQ(ParseCacheSizeKB(""), 0);
}

TEST(ProcessorModels, CodeNamesPackagesAndProcessesOfKnownParts) {
  struct Case {
    CpuVendor vendor;
    int family, model, stepping;
    const char* brand;
    const char* codeName;
    const char* package;
    double nm;
  };
  const Case cases[] = {
      {CpuVendor::Intel, 6, 15, 11, "Intel(R) Core(TM)2 Quad CPU Q6600 @ 2.40GHz", "Kentsfield",
       "Socket 775 LGA", 65},
      {CpuVendor::Intel, 6, 15, 10, "Intel(R) Core(TM)2 Duo CPU T7500 @ 2.20GHz", "Merom",
       "Socket P (478)", 65},
      {CpuVendor::Intel, 6, 58, 9, "Intel(R) Core(TM) i5-3570K CPU @ 3.40GHz", "Ivy Bridge",
       "Socket 1155 LGA", 22},
      {CpuVendor::Intel, 6, 94, 3, "Intel(R) Core(TM) i7-6700HQ CPU @ 2.60GHz", "Skylake-H",
       "BGA1440", 14},
      {CpuVendor::Intel, 6, 142, 10, "Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz", "Kaby Lake-R",
       "BGA1356", 14},
      {CpuVendor::Intel, 6, 158, 12, "Intel(R) Core(TM) i9-9900K CPU @ 3.60GHz", "Coffee Lake-S",
       "Socket 1151 LGA", 14},
      {CpuVendor::Intel, 6, 85, 7, "Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz", "Cascade Lake-SP",
       "Socket 3647 LGA", 14},
      {CpuVendor::Intel, 6, 151, 2, "12th Gen Intel(R) Core(TM) i9-12900K", "Alder Lake-S",
       "Socket 1700 LGA", 10},
      {CpuVendor::Intel, 6, 170, 4, "Intel(R) Core(TM) Ultra 7 155H", "Meteor Lake", "BGA2049", 7},
      {CpuVendor::Amd, 15, 107, 1, "AMD Athlon(tm) 64 X2 Dual Core Processor 4000+", "Brisbane",
       "Socket AM2", 65},
      {CpuVendor::Amd, 16, 4, 3, "AMD Phenom(tm) II X4 955 Processor", "Deneb", "Socket AM3", 45},
      {CpuVendor::Amd, 16, 10, 0, "AMD Phenom(tm) II X6 1055T Processor", "Thuban", "Socket AM3",
       45},
      {CpuVendor::Amd, 21, 2, 0, "AMD FX(tm)-8350 Eight-Core Processor", "Vishera", "Socket AM3+",
       32},
      {CpuVendor::Amd, 23, 113, 0, "AMD Ryzen 5 3600 6-Core Processor", "Matisse", "Socket AM4", 7},
      {CpuVendor::Amd, 23, 96, 1, "AMD Ryzen 7 4800H with Radeon Graphics", "Renoir",
       "BGA1140 (FP6)", 7},
      {CpuVendor::Amd, 25, 33, 0, "AMD Ryzen 9 5950X 16-Core Processor", "Vermeer", "Socket AM4",
       7},
      {CpuVendor::Amd, 25, 1, 1, "AMD EPYC 7763 64-Core Processor", "Milan", "Socket SP3", 7},
      {CpuVendor::Amd, 26, 68, 0, "AMD Ryzen 9 9950X 16-Core Processor", "Granite Ridge",
       "Socket AM5", 4},
      // Atom server parts, one row per generation.
      {CpuVendor::Intel, 6, 54, 1, "Intel(R) Atom(TM) CPU S1260 @ 2.00GHz", "Centerton", "BGA1283",
       32},
      {CpuVendor::Intel, 6, 77, 8, "Intel(R) Atom(TM) CPU  C2750  @ 2.40GHz", "Avoton", "BGA1283",
       22},
      {CpuVendor::Intel, 6, 77, 8, "Intel(R) Atom(TM) CPU  C2758  @ 2.40GHz", "Rangeley", "BGA1283",
       22},
      {CpuVendor::Intel, 6, 95, 1, "Intel(R) Atom(TM) CPU C3958 @ 2.00GHz", "Denverton", "BGA1310",
       14},
      {CpuVendor::Intel, 6, 134, 5, "Intel(R) Atom(TM) P5962B Processor", "Snow Ridge", "BGA2303",
       10},
      {CpuVendor::Intel, 6, 134, 7, "Intel(R) Atom(TM) C5125 Processor", "Parker Ridge", "BGA2303",
       10},
      {CpuVendor::Intel, 6, 190, 0, "Intel(R) Atom(TM) x7835RE", "Amston Lake", "BGA1264", 10},
      {CpuVendor::Intel, 6, 175, 3, "Intel(R) Xeon(R) 6780E", "Sierra Forest", "Socket 4710 LGA",
       3},
      // Gaps between the generations the table had.
      {CpuVendor::Intel, 6, 138, 1, "Intel(R) Core(TM) i5-L16G7 CPU @ 1.40GHz", "Lakefield",
       "BGA1016", 10},
      {CpuVendor::Intel, 6, 150, 1, "Intel(R) Celeron(R) J6412 @ 2.00GHz", "Elkhart Lake",
       "BGA1493", 10},
      {CpuVendor::Intel, 6, 63, 4, "Intel(R) Xeon(R) CPU E7-8890 v3 @ 2.50GHz", "Haswell-EX",
       "Socket 2011-1 LGA", 22},
      {CpuVendor::Intel, 6, 45, 7, "Intel(R) Xeon(R) CPU E5-2420 0 @ 1.90GHz", "Sandy Bridge-EN",
       "Socket 1356 LGA", 32},
      {CpuVendor::Intel, 6, 85, 4, "Intel(R) Xeon(R) W-2135 CPU @ 3.70GHz", "Skylake-W",
       "Socket 2066 LGA", 14},
      {CpuVendor::Intel, 6, 173, 1, "Intel(R) Xeon(R) 6972P", "Granite Rapids", "Socket 7529 LGA",
       3},
      {CpuVendor::Amd, 16, 8, 1, "Six-Core AMD Opteron(tm) Processor 4180", "Lisbon", "Socket C32",
       45},
      {CpuVendor::Amd, 21, 2, 0, "AMD Opteron(tm) Processor 4386", "Seoul", "Socket C32", 32},
      {CpuVendor::Amd, 25, 160, 2, "AMD EPYC 8534P 64-Core Processor", "Siena", "Socket SP6", 5},
  };
  for (const Case& c : cases) {
    CpuModelInfo info = LookupCpuModel(c.vendor, c.family, c.model, c.stepping, c.brand);
    EXPECT_EQ(info.codeName, c.codeName) << c.brand;
    EXPECT_EQ(info.package, c.package) << c.brand;
    EXPECT_EQ(info.processNm, c.nm) << c.brand;
  }
  EXPECT_EQ(LookupCpuModel(CpuVendor::Intel, 6, 250, 0, "future").codeName, "");
  // Reference clocks: Nehalem's 133 MHz, K10's 200 MHz HyperTransport clock, 100 MHz today.
  EXPECT_NEAR(LookupCpuModel(CpuVendor::Intel, 6, 26, 5, "Intel Core i7 920").busMHz, 133.33, 0.01);
  EXPECT_EQ(LookupCpuModel(CpuVendor::Amd, 16, 4, 3, "AMD Phenom II X4 955").busMHz, 200);
  EXPECT_EQ(LookupCpuModel(CpuVendor::Amd, 25, 97, 2, "AMD Ryzen 9 7900X").busMHz, 100);
}

TEST(SensorChips, KindsFollowTheDriver) {
  EXPECT_EQ(ChipKindForDriver("nct6779"), qmhdw::kDeviceBoard);
  EXPECT_EQ(ChipKindForDriver("it8728"), qmhdw::kDeviceBoard);
  EXPECT_EQ(ChipKindForDriver("w83627hf"), qmhdw::kDeviceBoard);
  EXPECT_EQ(ChipKindForDriver("f71882fg"), qmhdw::kDeviceBoard);
  EXPECT_EQ(ChipKindForDriver("coretemp"), qmhdw::kDeviceProcessor);
  EXPECT_EQ(ChipKindForDriver("k10temp"), qmhdw::kDeviceProcessor);
  EXPECT_EQ(ChipKindForDriver("zenpower"), qmhdw::kDeviceProcessor);
  EXPECT_EQ(ChipKindForDriver("nvme"), qmhdw::kDeviceDisk);
  EXPECT_EQ(ChipKindForDriver("drivetemp"), qmhdw::kDeviceDisk);
  EXPECT_EQ(ChipKindForDriver("amdgpu"), qmhdw::kDeviceDisplay);
  EXPECT_EQ(ChipKindForDriver("nouveau"), qmhdw::kDeviceDisplay);
  EXPECT_EQ(ChipKindForDriver("acpitz"), qmhdw::kDeviceOther);
  EXPECT_EQ(ChipKindForDriver("iwlwifi_1"), qmhdw::kDeviceOther);
  EXPECT_EQ(ChipKindForDriver("it"), qmhdw::kDeviceOther);
}

TEST(SensorChips, UnlabelledInputsGetTheNamesCallersMatchOn) {
  EXPECT_EQ(DefaultSensorName("nct6779", qmhdw::kDeviceBoard, qmhdw::kSensorVoltage, 0),
            "CPU VCORE");
  EXPECT_EQ(DefaultSensorName("it8728", qmhdw::kDeviceBoard, qmhdw::kSensorVoltage, 0),
            "CPU VCORE");
  EXPECT_EQ(DefaultSensorName("nct6779", qmhdw::kDeviceBoard, qmhdw::kSensorFan, 2), "CPUFANIN");
  EXPECT_EQ(DefaultSensorName("nct6779", qmhdw::kDeviceBoard, qmhdw::kSensorFan, 1), "SYSFANIN");
  EXPECT_EQ(DefaultSensorName("it8728", qmhdw::kDeviceBoard, qmhdw::kSensorTemperature, 1),
            "TMPIN0");
  EXPECT_EQ(DefaultSensorName("w83627hf", qmhdw::kDeviceBoard, qmhdw::kSensorTemperature, 2),
            "CPUTIN");
  EXPECT_EQ(DefaultSensorName("nouveau", qmhdw::kDeviceDisplay, qmhdw::kSensorTemperature, 1),
            "temp1");
  EXPECT_EQ(NormalizeLabel(qmhdw::kDeviceBoard, qmhdw::kSensorVoltage, "Vcore"), "CPU VCORE");
  EXPECT_EQ(NormalizeLabel(qmhdw::kDeviceProcessor, qmhdw::kSensorVoltage, "Vcore"), "Vcore");
  long long v = 0;
  EXPECT_TRUE(ParseSensorValue("45000\n", v));
  EXPECT_EQ(v, 45000);
  EXPECT_TRUE(ParseSensorValue("-5000", v));
  EXPECT_FALSE(ParseSensorValue("", v));
  EXPECT_FALSE(ParseSensorValue("12abc", v));
  EXPECT_FALSE(ParseSensorValue("99999999999999999999999", v));
}
