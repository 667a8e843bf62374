// The processor detector against a table-driven library: texts, the unlocked-model correction,
// processor limits, refreshes and operations the library lacks.
#include <gtest/gtest.h>

#include "FakeLibrary.h"
#include "config/LanguageRes.h"
#include "detect/CpuHelper.h"

namespace {

using namespace korvane;

struct CpuFixture : ::testing::Test {
  void SetUp() override { fakelib::Reset(); }

  // A detector over the fake library; leaf 1 answers `leaf1Eax`, the line decoder fills every
  // group with `ways` ways and 64-byte lines (or fails when ways is 0).
  CCPUHelper Make(std::uint32_t leaf1Eax = 0x000006FB, std::uint8_t ways = 12) {
    sdk = fakelib::MakeSdk();
    CpuSources s;
    s.library = [this] { return sdk.get(); };
    s.cpuid = [leaf1Eax](std::uint32_t leaf, std::uint32_t) -> std::optional<platform::CpuidRegs> {
      if (leaf != 1) return std::nullopt;
      return platform::CpuidRegs{leaf1Eax, 0x00100800, 0, 0};
    };
    s.lineInfo = [this, ways](_CACHE_LINE_INFO* info) {
      ++lineInfoCalls;
      if (ways == 0) return 0;
      for (auto& g : info->group) {
        g.associativity = ways;
        g.lineSize = 64;
      }
      return 1;
    };
    return CCPUHelper(std::move(s));
  }

  std::unique_ptr<CPUIDSDK> sdk;
  int lineInfoCalls = 0;
};

TEST(CpuTexts, SpecificationLosesDoubledSpacesAndTrademarks) {
  EXPECT_EQ(CleanSpecificationText("Intel(R) Core(TM)2 Quad  CPU   Q6600  @ 2.40GHz"),
            "Intel Core2 Quad CPU Q6600 @ 2.40GHz");
  EXPECT_EQ(CleanSpecificationText("   AMD Ryzen(tm) 9 7900X     12-Core(r) Processor  "),
            "AMD Ryzen 9 7900X 12-Core Processor");
  EXPECT_EQ(CleanSpecificationText("     "), "");
  EXPECT_EQ(CleanSpecificationText(""), "");
}

TEST(CpuTexts, InstructionSetsInTableOrder) {
  auto only = [](std::set<int> sets) {
    return ComposeInstructionSets([&](int s) { return sets.count(s) > 0; });
  };
  EXPECT_EQ(only({1, 5, 6, 16}), "MMX, SSE, SSE2, x86-64");
  EXPECT_EQ(only({5, 6}), ", SSE, SSE2");  // no MMX: the text starts with the separator
  EXPECT_EQ(only({1, 2, 3, 4}), "MMX (+), 3DNow! (+)");
  EXPECT_EQ(only({}), "");
  EXPECT_EQ(only({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}),
            "MMX (+), 3DNow! (+), SSE, SSE2, SSE3, SSSE3, SSE4.1, SSE4.2, SSE4A, SSE5, x86-64");
}

TEST(CpuTexts, ProcessTechnologyUnits) {
  // Units come from the language table (English: "nm" and "mm").
  const std::string nm = " " + LangText(5011), um = " " + LangText(5010);
  EXPECT_EQ(FormatProcessTechnology(0.045f), "45" + nm);
  EXPECT_EQ(FormatProcessTechnology(0.014f), "14" + nm);
  EXPECT_EQ(FormatProcessTechnology(0.13f), "0.13" + um);
  EXPECT_EQ(FormatProcessTechnology(0.1f), "0.10" + um);  // 0.1f is a hair above 0.1
  EXPECT_EQ(FormatProcessTechnology(0.0999f), "100" + nm);
  EXPECT_NE(nm, um);
}

TEST(CpuTexts, IdentificationUsesTheBaseFields) {
  EXPECT_EQ(IdentificationText(0x000006FB), "Family 6 Model 15 Stepping 11");
  // Extended family and model are left out: a Zen 4 part reads as family 15.
  EXPECT_EQ(IdentificationText(0x00A60F12), "Family 15 Model 1 Stepping 2");
}

TEST(BlackEdition, RatedClockReplacesTooHighOrMissingStockClock) {
  struct Case {
    const char* name;
    int stock, bus;
    bool matched;
    int wantStock, wantBus;
  };
  const Case cases[] = {
      {"AMD Phenom II X4 940 Black Edition", 3600, 0, true, 3000, 200},
      {"AMD Phenom II X4 940 Black Edition", 2800, 0, true, 2800, 200},
      {"AMD Phenom II X4 940 Black Edition", 2800, 266, true, 2800, 266},
      {"AMD Athlon 64 X2 6400+ Black Edition", 0, 200, true, 3200, 200},
      {"AMD Athlon 64 X2 6400+ Black Edition", 3201, 200, true, 3200, 200},
      {"AMD Athlon 64 X2 6400+ Black Edition", 3200, 200, true, 3200, 200},
      {"AMD Athlon 64 X2 6400+ Black Edition", 1, 200, true, 1, 200},
      {"AMD Athlon64 X2 5000+ BLACK EDITION", -1, -1, true, 2600, 200},
      {"AMD PhenomII X4 995 Black Edition", 3600, 200, true, 3200, 200},
      {"AMD Phenom 9600 Black Edition", 2600, 200, true, 2300, 200},
      {"AMD Phenom II X6 1090T Black Edition", 3600, 0, false, 3600, 0},  // not a listed model
      {"AMD Phenom II X4 940", 3600, 0, false, 3600, 0},                  // not a black edition
      {"Black Edition AMD Phenom II X4 940", 3600, 0, false, 3600, 0},    // model after the phrase
  };
  for (const Case& c : cases) {
    int stock = c.stock, bus = c.bus, unlocked = 0;
    EXPECT_EQ(ApplyBlackEditionRule(c.name, stock, bus, unlocked), c.matched) << c.name;
    EXPECT_EQ(stock, c.wantStock) << c.name << " " << c.stock;
    EXPECT_EQ(bus, c.wantBus) << c.name;
    EXPECT_EQ(unlocked, c.matched ? 1 : 0) << c.name;
  }
}

TEST_F(CpuFixture, FullReadFillsEveryTable) {
  auto& p = fakelib::State().processors[0];
  p.brandString = "Intel(R) Core(TM)2 Quad  CPU   Q6600  @ 2.40GHz";
  p.name = "Intel Core 2 Quad Q6600";
  CCPUHelper cpu = Make();
  cpu.vUpdate();
  EXPECT_EQ(cpu.count, 1);
  EXPECT_EQ(cpu.processorCount, 1);
  EXPECT_EQ(fakelib::State().refreshClockCalls, 1);
  EXPECT_EQ(cpu.coreCount[0], 4);
  EXPECT_EQ(cpu.threadCount[0], 8);
  EXPECT_EQ(cpu.signature[0], 0x6FBu);
  EXPECT_EQ(cpu.brandInfo[0], 0x00100800u);
  const auto& t = cpu.texts[0];
  EXPECT_EQ(t[kCpuTextName], "Intel Core 2 Quad Q6600");
  EXPECT_EQ(t[kCpuTextCodeName], "Testcore");
  EXPECT_EQ(t[kCpuTextPackage], "Socket T");
  EXPECT_EQ(t[kCpuTextSpecification], "Intel Core2 Quad CPU Q6600 @ 2.40GHz");
  EXPECT_EQ(t[kCpuTextProcessTechnology], "45 " + LangText(5011));
  EXPECT_EQ(t[kCpuTextStepping], "B2");
  EXPECT_EQ(t[kCpuTextInstructionSets], "MMX, SSE, SSE2, x86-64");
  EXPECT_EQ(t[kCpuTextIdentification], "Family 6 Model 15 Stepping 11");
  EXPECT_EQ(cpu.stockClock[0], 3000);
  EXPECT_EQ(cpu.busClock[0], 200);
  EXPECT_FLOAT_EQ(cpu.coreClock[0], 3000.0f);
  EXPECT_FLOAT_EQ(cpu.multiplier[0], 15.0f);
  EXPECT_FLOAT_EQ(cpu.busFrequency[0], 100.0f);
  EXPECT_FLOAT_EQ(cpu.ratedBusFrequency[0], 200.0f);
  EXPECT_FLOAT_EQ(cpu.coreVoltage[0], 1.2f);
  EXPECT_FLOAT_EQ(cpu.processTechnology[0], 0.045f);
  EXPECT_EQ(cpu.architectureCode[0], 0x01000000u);
  EXPECT_EQ(cpu.unlockedMultiplier[0], 0);

  const auto& c = cpu.caches[0];
  EXPECT_EQ(c[0].sizeKB, 32);
  EXPECT_EQ(c[0].count, 4);
  EXPECT_EQ(c[1].sizeKB, 32);
  EXPECT_EQ(c[2].sizeKB, 0);  // no trace cache: the record stays absent...
  EXPECT_EQ(c[2].ways, 12);   // ...but still gets the decoder's values
  EXPECT_EQ(c[3].sizeKB, 256);
  EXPECT_EQ(c[4].sizeKB, 8192);
  EXPECT_EQ(c[4].count, 1);
  for (const auto& d : c) EXPECT_EQ(d.lineSize, 64);
}

TEST_F(CpuFixture, CacheLevelCountDecidesWhichKindsAreAsked) {
  fakelib::State().processors[0].cacheLevels = 2;
  CCPUHelper cpu = Make();
  cpu.vUpdate();
  EXPECT_EQ(fakelib::State().cacheParameterCalls, 4);
  EXPECT_EQ(cpu.caches[0][3].sizeKB, 256);
  EXPECT_EQ(cpu.caches[0][4].sizeKB, 0);

  fakelib::Reset();
  lineInfoCalls = 0;
  fakelib::State().processors[0].cacheLevels = -1;  // unknown: the whole step is skipped
  CCPUHelper unknown = Make();
  unknown.vUpdate();
  EXPECT_EQ(fakelib::State().cacheParameterCalls, 0);
  EXPECT_EQ(lineInfoCalls, 0);
  EXPECT_EQ(unknown.caches[0][0].sizeKB, 0);
  EXPECT_EQ(unknown.caches[0][0].ways, 0);
}

TEST_F(CpuFixture, FailingLineDecoderKeepsEarlierGeometry) {
  CCPUHelper cpu = Make(0x6FB, 0);
  cpu.vUpdate();
  EXPECT_EQ(cpu.caches[0][0].sizeKB, 32);
  EXPECT_EQ(cpu.caches[0][0].ways, 0);

  CpuSources s;
  s.library = [this] { return sdk.get(); };
  s.lineInfo = [](_CACHE_LINE_INFO*) -> int { throw std::runtime_error("no CPUID"); };
  CCPUHelper throwing(std::move(s));
  throwing.caches[0][3].ways = 7;
  EXPECT_NO_THROW(throwing.vUpdate());
  EXPECT_EQ(throwing.caches[0][3].ways, 7);
  EXPECT_EQ(throwing.caches[0][3].sizeKB, 256);
  EXPECT_EQ(throwing.count, 1);
}

TEST_F(CpuFixture, AtMostEightProcessorsAndNoneWhenZeroReported) {
  fakelib::State().processorCount = 9;
  CCPUHelper cpu = Make();
  cpu.vUpdate();
  EXPECT_EQ(cpu.count, 8);
  EXPECT_EQ(cpu.processorCount, 9);
  EXPECT_EQ(fakelib::State().processorsAsked, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  cpu.vRefresh();
  EXPECT_EQ(cpu.count, 8);

  fakelib::Reset();
  fakelib::State().processorCount = 0;
  CCPUHelper none = Make();
  none.vUpdate();
  EXPECT_EQ(none.count, 0);
  EXPECT_TRUE(fakelib::State().processorsAsked.empty());
  EXPECT_EQ(none.texts[0][kCpuTextName], "");

  // A library that cannot count its processors still describes one.
  fakelib::Reset();
  fakelib::State().absent = {qmhdw::kGetProcessorCount};
  CCPUHelper uncounted = Make();
  uncounted.vUpdate();
  EXPECT_EQ(uncounted.processorCount, 1);
  EXPECT_EQ(uncounted.count, 1);
  uncounted.vRefresh();  // a refresh without a count changes nothing
  EXPECT_EQ(uncounted.count, 1);
}

TEST_F(CpuFixture, RefreshUndoesTheCorrectionButKeepsTheUnlockedFlag) {
  auto& p = fakelib::State().processors[0];
  p.name = "AMD Phenom II X4 940 Black Edition";
  p.stockClock = 3600;
  p.stockBus = 0;
  CCPUHelper cpu = Make();
  cpu.vUpdate();
  EXPECT_EQ(cpu.stockClock[0], 3000);
  EXPECT_EQ(cpu.busClock[0], 200);
  EXPECT_EQ(cpu.unlockedMultiplier[0], 1);

  p.coreClock = 3612.5f;
  cpu.vRefresh();
  EXPECT_EQ(cpu.stockClock[0], 3600);
  EXPECT_EQ(cpu.busClock[0], 0);
  EXPECT_FLOAT_EQ(cpu.coreClock[0], 3612.5f);
  EXPECT_EQ(cpu.unlockedMultiplier[0], 1);
  EXPECT_EQ(fakelib::State().refreshClockCalls, 2);
}

TEST_F(CpuFixture, UnavailableValuesKeepWhatAnEarlierPassRead) {
  CCPUHelper cpu = Make();
  cpu.vUpdate();
  auto& p = fakelib::State().processors[0];
  p.name.reset();
  p.brandString.reset();
  p.coreClock = 0.0f;
  p.process = -1.0f;
  p.stockClock = -1;
  p.stockBus = -1;
  cpu.vUpdate();
  EXPECT_EQ(cpu.texts[0][kCpuTextName], "Test Processor");
  EXPECT_EQ(cpu.texts[0][kCpuTextSpecification], "Test Processor @ 3.00GHz");
  EXPECT_FLOAT_EQ(cpu.coreClock[0], 3000.0f);
  EXPECT_EQ(cpu.texts[0][kCpuTextProcessTechnology], "45 " + LangText(5011));
  EXPECT_EQ(cpu.stockClock[0], 3000);
  EXPECT_EQ(cpu.busClock[0], 200);
}

TEST_F(CpuFixture, LibraryWithoutProcessorOperations) {
  fakelib::State().absent = {qmhdw::kGetProcessorCoreCount,
                             qmhdw::kGetProcessorThreadCount,
                             qmhdw::kGetProcessorName,
                             qmhdw::kIsProcessorInstructionSetAvailable,
                             qmhdw::kGetProcessorCacheParameters,
                             qmhdw::kGetProcessorArchitectureCode,
                             qmhdw::kGetProcessorStockClockFrequency,
                             qmhdw::kGetBusFrequency};
  CCPUHelper cpu = Make(0x1);  // a leaf-1 signature of 1 or less is not stored
  cpu.caches[0][0].ways = 5;
  cpu.vUpdate();
  EXPECT_EQ(cpu.count, 1);
  EXPECT_EQ(cpu.coreCount[0], -1);
  EXPECT_EQ(cpu.threadCount[0], -1);
  EXPECT_EQ(cpu.texts[0][kCpuTextName], "");
  EXPECT_EQ(cpu.texts[0][kCpuTextInstructionSets], "");
  EXPECT_EQ(cpu.texts[0][kCpuTextIdentification], "");
  EXPECT_EQ(cpu.signature[0], 0u);
  EXPECT_EQ(cpu.architectureCode[0], 0u);
  EXPECT_EQ(cpu.stockClock[0], 0);
  EXPECT_FLOAT_EQ(cpu.busFrequency[0], 0.0f);
  // Without cache parameters no cache record changes, geometry included.
  EXPECT_EQ(cpu.caches[0][0].ways, 5);
  EXPECT_EQ(cpu.caches[0][0].sizeKB, 0);
  EXPECT_EQ(lineInfoCalls, 0);
}

TEST(CpuWithoutLibrary, NothingIsRead) {
  CpuSources s;
  s.library = [] { return static_cast<CPUIDSDK*>(nullptr); };
  CCPUHelper cpu(std::move(s));
  cpu.count = 3;
  cpu.vUpdate();
  cpu.vRefresh();
  EXPECT_EQ(cpu.count, 3);
  EXPECT_EQ(cpu.processorCount, 0);
}

}  // namespace
