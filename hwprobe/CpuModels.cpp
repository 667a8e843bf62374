#include "CpuModels.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace korvane::hwprobe {
namespace {

// A row applies when vendor, family, the model range and the stepping range match and, when a
// brand token is given, the brand contains it ("@mobile" = a notebook part, "@desktop" = not).
struct Row {
  CpuVendor vendor;
  int family;
  int modelLo, modelHi;
  int stepLo, stepHi;
  const char* token;
  const char* codeName;
  const char* package;
  double nm;
  double bus;
  bool quad;
};

constexpr CpuVendor I = CpuVendor::Intel;
constexpr CpuVendor A = CpuVendor::Amd;
constexpr int kAny = 0xFF;

constexpr Row kRows[] = {
    // Intel NetBurst and P6 era.
    {I, 15, 0, 1, 0, kAny, nullptr, "Willamette", "Socket 478", 180, 0, true},
    {I, 15, 2, 2, 0, kAny, nullptr, "Northwood", "Socket 478", 130, 0, true},
    {I, 15, 3, 4, 0, kAny, nullptr, "Prescott", "Socket 775 LGA", 90, 0, true},
    {I, 15, 6, 6, 0, kAny, nullptr, "Cedar Mill", "Socket 775 LGA", 65, 0, true},
    {I, 6, 8, 8, 0, kAny, nullptr, "Coppermine", "Socket 370 FC-PGA", 180, 0, false},
    {I, 6, 11, 11, 0, kAny, nullptr, "Tualatin", "Socket 370 FC-PGA2", 130, 0, false},
    {I, 6, 9, 9, 0, kAny, nullptr, "Banias", "Socket 479 mPGA", 130, 0, true},
    {I, 6, 13, 13, 0, kAny, nullptr, "Dothan", "Socket 479 mPGA", 90, 0, true},
    {I, 6, 14, 14, 0, kAny, nullptr, "Yonah", "Socket 479 mPGA", 65, 0, true},
    // Core 2.
    {I, 6, 15, 15, 0, kAny, "xeon", "Clovertown", "Socket 771 LGA", 65, 0, true},
    {I, 6, 15, 15, 0, kAny, "@mobile", "Merom", "Socket P (478)", 65, 0, true},
    {I, 6, 15, 15, 0, kAny, "quad", "Kentsfield", "Socket 775 LGA", 65, 0, true},
    {I, 6, 15, 15, 0, kAny, nullptr, "Conroe", "Socket 775 LGA", 65, 0, true},
    {I, 6, 22, 22, 0, kAny, "@mobile", "Merom-L", "Socket P (478)", 65, 0, true},
    {I, 6, 22, 22, 0, kAny, nullptr, "Conroe-L", "Socket 775 LGA", 65, 0, true},
    {I, 6, 23, 23, 0, kAny, "xeon", "Harpertown", "Socket 771 LGA", 45, 0, true},
    {I, 6, 23, 23, 0, kAny, "@mobile", "Penryn", "Socket P (478)", 45, 0, true},
    {I, 6, 23, 23, 0, kAny, "quad", "Yorkfield", "Socket 775 LGA", 45, 0, true},
    {I, 6, 23, 23, 0, kAny, nullptr, "Wolfdale", "Socket 775 LGA", 45, 0, true},
    {I, 6, 29, 29, 0, kAny, nullptr, "Dunnington", "Socket 604 mPGA", 45, 0, true},
    // Nehalem and Westmere.
    {I, 6, 26, 26, 0, kAny, "xeon", "Gainestown", "Socket 1366 LGA", 45, 133.33, false},
    {I, 6, 26, 26, 0, kAny, nullptr, "Bloomfield", "Socket 1366 LGA", 45, 133.33, false},
    {I, 6, 30, 30, 0, kAny, "@mobile", "Clarksfield", "Socket 988 rPGA", 45, 133.33, false},
    {I, 6, 30, 30, 0, kAny, nullptr, "Lynnfield", "Socket 1156 LGA", 45, 133.33, false},
    {I, 6, 31, 31, 0, kAny, nullptr, "Auburndale/Havendale", "Socket 1156 LGA", 45, 133.33, false},
    {I, 6, 37, 37, 0, kAny, "@mobile", "Arrandale", "Socket 988 rPGA", 32, 133.33, false},
    {I, 6, 37, 37, 0, kAny, nullptr, "Clarkdale", "Socket 1156 LGA", 32, 133.33, false},
    {I, 6, 44, 44, 0, kAny, "xeon", "Westmere-EP", "Socket 1366 LGA", 32, 133.33, false},
    {I, 6, 44, 44, 0, kAny, nullptr, "Gulftown", "Socket 1366 LGA", 32, 133.33, false},
    {I, 6, 46, 46, 0, kAny, nullptr, "Nehalem-EX", "Socket 1567 LGA", 45, 133.33, false},
    {I, 6, 47, 47, 0, kAny, nullptr, "Westmere-EX", "Socket 1567 LGA", 32, 133.33, false},
    // Sandy Bridge onwards: 100 MHz reference clock.
    {I, 6, 42, 42, 0, kAny, "@mobile", "Sandy Bridge", "Socket 988B rPGA", 32, 100, false},
    {I, 6, 42, 42, 0, kAny, nullptr, "Sandy Bridge", "Socket 1155 LGA", 32, 100, false},
    {I, 6, 45, 45, 0, kAny, "e5-24", "Sandy Bridge-EN", "Socket 1356 LGA", 32, 100, false},
    {I, 6, 45, 45, 0, kAny, "e5-14", "Sandy Bridge-EN", "Socket 1356 LGA", 32, 100, false},
    {I, 6, 45, 45, 0, kAny, "xeon", "Sandy Bridge-EP", "Socket 2011 LGA", 32, 100, false},
    {I, 6, 45, 45, 0, kAny, nullptr, "Sandy Bridge-E", "Socket 2011 LGA", 32, 100, false},
    {I, 6, 58, 58, 0, kAny, "@mobile", "Ivy Bridge", "Socket 988B rPGA", 22, 100, false},
    {I, 6, 58, 58, 0, kAny, nullptr, "Ivy Bridge", "Socket 1155 LGA", 22, 100, false},
    {I, 6, 62, 62, 0, kAny, "e7-", "Ivy Bridge-EX", "Socket 2011-1 LGA", 22, 100, false},
    {I, 6, 62, 62, 0, kAny, "e5-24", "Ivy Bridge-EN", "Socket 1356 LGA", 22, 100, false},
    {I, 6, 62, 62, 0, kAny, "e5-14", "Ivy Bridge-EN", "Socket 1356 LGA", 22, 100, false},
    {I, 6, 62, 62, 0, kAny, "xeon", "Ivy Bridge-EP", "Socket 2011 LGA", 22, 100, false},
    {I, 6, 62, 62, 0, kAny, nullptr, "Ivy Bridge-E", "Socket 2011 LGA", 22, 100, false},
    {I, 6, 60, 60, 0, kAny, "@mobile", "Haswell", "Socket 946 rPGA", 22, 100, false},
    {I, 6, 60, 60, 0, kAny, nullptr, "Haswell", "Socket 1150 LGA", 22, 100, false},
    {I, 6, 69, 69, 0, kAny, nullptr, "Haswell-ULT", "BGA1168", 22, 100, false},
    {I, 6, 70, 70, 0, kAny, nullptr, "Crystal Well", "BGA1364", 22, 100, false},
    {I, 6, 63, 63, 0, kAny, "e7-", "Haswell-EX", "Socket 2011-1 LGA", 22, 100, false},
    {I, 6, 63, 63, 0, kAny, "xeon", "Haswell-EP", "Socket 2011-3 LGA", 22, 100, false},
    {I, 6, 63, 63, 0, kAny, nullptr, "Haswell-E", "Socket 2011-3 LGA", 22, 100, false},
    {I, 6, 61, 61, 0, kAny, nullptr, "Broadwell-U", "BGA1168", 14, 100, false},
    {I, 6, 71, 71, 0, kAny, nullptr, "Broadwell-H", "Socket 1150 LGA", 14, 100, false},
    {I, 6, 79, 79, 0, kAny, "e7-", "Broadwell-EX", "Socket 2011-1 LGA", 14, 100, false},
    {I, 6, 79, 79, 0, kAny, "xeon", "Broadwell-EP", "Socket 2011-3 LGA", 14, 100, false},
    {I, 6, 79, 79, 0, kAny, nullptr, "Broadwell-E", "Socket 2011-3 LGA", 14, 100, false},
    {I, 6, 86, 86, 0, kAny, nullptr, "Broadwell-DE", "BGA1667", 14, 100, false},
    {I, 6, 78, 78, 0, kAny, nullptr, "Skylake-U/Y", "BGA1356", 14, 100, false},
    {I, 6, 94, 94, 0, kAny, "@mobile", "Skylake-H", "BGA1440", 14, 100, false},
    {I, 6, 94, 94, 0, kAny, nullptr, "Skylake-S", "Socket 1151 LGA", 14, 100, false},
    {I, 6, 85, 85, 0, 4, "xeon(r) d-", "Skylake-D", "BGA2518", 14, 100, false},
    {I, 6, 85, 85, 0, 4, "xeon(r) w-", "Skylake-W", "Socket 2066 LGA", 14, 100, false},
    {I, 6, 85, 85, 5, 7, "xeon(r) w-32", "Cascade Lake-W", "Socket 3647 LGA", 14, 100, false},
    {I, 6, 85, 85, 5, 7, "xeon(r) w-", "Cascade Lake-W", "Socket 2066 LGA", 14, 100, false},
    {I, 6, 85, 85, 11, kAny, nullptr, "Cooper Lake", "Socket 4189 LGA", 14, 100, false},
    {I, 6, 85, 85, 5, 7, "xeon", "Cascade Lake-SP", "Socket 3647 LGA", 14, 100, false},
    {I, 6, 85, 85, 5, 7, nullptr, "Cascade Lake-X", "Socket 2066 LGA", 14, 100, false},
    {I, 6, 85, 85, 0, kAny, "xeon", "Skylake-SP", "Socket 3647 LGA", 14, 100, false},
    {I, 6, 85, 85, 0, kAny, nullptr, "Skylake-X", "Socket 2066 LGA", 14, 100, false},
    {I, 6, 142, 142, 0, 9, nullptr, "Kaby Lake-U/Y", "BGA1356", 14, 100, false},
    {I, 6, 142, 142, 10, 10, nullptr, "Kaby Lake-R", "BGA1356", 14, 100, false},
    {I, 6, 142, 142, 11, 11, nullptr, "Whiskey Lake-U", "BGA1528", 14, 100, false},
    {I, 6, 142, 142, 12, kAny, nullptr, "Comet Lake-U", "BGA1528", 14, 100, false},
    {I, 6, 158, 158, 0, 9, "@mobile", "Kaby Lake-H", "BGA1440", 14, 100, false},
    {I, 6, 158, 158, 0, 9, nullptr, "Kaby Lake-S", "Socket 1151 LGA", 14, 100, false},
    {I, 6, 158, 158, 10, kAny, "@mobile", "Coffee Lake-H", "BGA1440", 14, 100, false},
    {I, 6, 158, 158, 10, kAny, nullptr, "Coffee Lake-S", "Socket 1151 LGA", 14, 100, false},
    {I, 6, 165, 165, 0, kAny, "@mobile", "Comet Lake-H", "BGA1440", 14, 100, false},
    {I, 6, 165, 165, 0, kAny, nullptr, "Comet Lake-S", "Socket 1200 LGA", 14, 100, false},
    {I, 6, 166, 166, 0, kAny, nullptr, "Comet Lake-U", "BGA1528", 14, 100, false},
    {I, 6, 102, 102, 0, kAny, nullptr, "Cannon Lake", "BGA1440", 10, 100, false},
    {I, 6, 125, 125, 0, kAny, nullptr, "Ice Lake-Y", "BGA1377", 10, 100, false},
    {I, 6, 157, 157, 0, kAny, nullptr, "Spring Hill", "BGA", 10, 100, false},
    {I, 6, 126, 126, 0, kAny, nullptr, "Ice Lake-U/Y", "BGA1526", 10, 100, false},
    {I, 6, 106, 106, 0, kAny, nullptr, "Ice Lake-SP", "Socket 4189 LGA", 10, 100, false},
    {I, 6, 108, 108, 0, kAny, nullptr, "Ice Lake-D", "BGA2579", 10, 100, false},
    {I, 6, 138, 138, 0, kAny, nullptr, "Lakefield", "BGA1016", 10, 100, false},
    {I, 6, 140, 140, 0, kAny, nullptr, "Tiger Lake-UP3", "BGA1449", 10, 100, false},
    {I, 6, 141, 141, 0, kAny, nullptr, "Tiger Lake-H", "BGA1787", 10, 100, false},
    {I, 6, 167, 167, 0, kAny, nullptr, "Rocket Lake-S", "Socket 1200 LGA", 14, 100, false},
    {I, 6, 151, 151, 0, kAny, nullptr, "Alder Lake-S", "Socket 1700 LGA", 10, 100, false},
    {I, 6, 154, 154, 0, kAny, nullptr, "Alder Lake-P", "BGA1744", 10, 100, false},
    {I, 6, 190, 190, 0, kAny, "atom", "Amston Lake", "BGA1264", 10, 100, false},
    {I, 6, 190, 190, 0, kAny, nullptr, "Alder Lake-N", "BGA1264", 10, 100, false},
    {I, 6, 183, 183, 0, kAny, nullptr, "Raptor Lake-S", "Socket 1700 LGA", 10, 100, false},
    {I, 6, 191, 191, 0, kAny, nullptr, "Raptor Lake-S", "Socket 1700 LGA", 10, 100, false},
    {I, 6, 186, 186, 0, kAny, nullptr, "Raptor Lake-P", "BGA1744", 10, 100, false},
    {I, 6, 173, 173, 0, kAny, nullptr, "Granite Rapids", "Socket 7529 LGA", 3, 100, false},
    {I, 6, 174, 174, 0, kAny, nullptr, "Granite Rapids-D", "BGA4368", 3, 100, false},
    {I, 6, 175, 175, 0, kAny, nullptr, "Sierra Forest", "Socket 4710 LGA", 3, 100, false},
    {I, 6, 221, 221, 0, kAny, nullptr, "Clearwater Forest", "Socket 7529 LGA", 2, 100, false},
    {I, 6, 143, 143, 0, kAny, nullptr, "Sapphire Rapids", "Socket 4677 LGA", 10, 100, false},
    {I, 6, 207, 207, 0, kAny, nullptr, "Emerald Rapids", "Socket 4677 LGA", 10, 100, false},
    {I, 6, 170, 170, 0, kAny, nullptr, "Meteor Lake", "BGA2049", 7, 100, false},
    {I, 6, 172, 172, 0, kAny, nullptr, "Meteor Lake", "BGA2049", 7, 100, false},
    {I, 6, 181, 181, 0, kAny, nullptr, "Arrow Lake-U", "BGA2049", 3, 100, false},
    {I, 6, 197, 197, 0, kAny, nullptr, "Arrow Lake-H", "BGA2049", 3, 100, false},
    {I, 6, 198, 198, 0, kAny, nullptr, "Arrow Lake-S", "Socket 1851 LGA", 3, 100, false},
    {I, 6, 189, 189, 0, kAny, nullptr, "Lunar Lake", "BGA2833", 3, 100, false},
    {I, 6, 204, 204, 0, kAny, nullptr, "Panther Lake", "BGA2540", 2, 100, false},
    {I, 6, 213, 213, 0, kAny, nullptr, "Wildcat Lake", "BGA", 2, 100, false},
    {I, 6, 87, 87, 0, kAny, nullptr, "Knights Landing", "Socket 3647 LGA", 14, 100, false},
    {I, 6, 133, 133, 0, kAny, nullptr, "Knights Mill", "Socket 3647 LGA", 14, 100, false},
    // Intel Atom-class cores.
    {I, 6, 28, 28, 0, kAny, "cpu z5", "Silverthorne", "BGA441", 45, 0, true},
    {I, 6, 28, 28, 0, kAny, "cpu d4", "Pineview", "BGA559", 45, 0, true},
    {I, 6, 28, 28, 0, kAny, "cpu d5", "Pineview", "BGA559", 45, 0, true},
    {I, 6, 28, 28, 0, kAny, "cpu n4", "Pineview", "BGA559", 45, 0, true},
    {I, 6, 28, 28, 0, kAny, "cpu n5", "Pineview", "BGA559", 45, 0, true},
    {I, 6, 28, 28, 0, kAny, nullptr, "Diamondville", "BGA437", 45, 0, true},
    {I, 6, 38, 38, 0, kAny, nullptr, "Lincroft", "BGA", 45, 0, false},
    {I, 6, 39, 39, 0, kAny, nullptr, "Penwell", "BGA", 32, 0, false},
    {I, 6, 53, 53, 0, kAny, nullptr, "Cloverview", "BGA", 32, 0, false},
    // Atom server parts: Centerton/Briarwood (Saltwell), Avoton/Rangeley (Silvermont),
    // Denverton (Goldmont), Snow Ridge/Parker Ridge (Tremont), Amston Lake (Gracemont),
    // Grand Ridge and Sierra Forest (Crestmont).
    {I, 6, 54, 54, 0, kAny, "cpu s12", "Centerton", "BGA1283", 32, 0, false},
    {I, 6, 54, 54, 0, kAny, nullptr, "Cedarview", "BGA559", 32, 0, false},
    {I, 6, 77, 77, 0, kAny, "c2308", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2338", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2358", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2508", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2518", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2538", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2558", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2718", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2738", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, "c2758", "Rangeley", "BGA1283", 22, 100, false},
    {I, 6, 77, 77, 0, kAny, nullptr, "Avoton", "BGA1283", 22, 100, false},
    {I, 6, 95, 95, 0, kAny, nullptr, "Denverton", "BGA1310", 14, 100, false},
    {I, 6, 134, 134, 0, kAny, "c5", "Parker Ridge", "BGA2303", 10, 100, false},
    {I, 6, 134, 134, 0, kAny, nullptr, "Snow Ridge", "BGA2303", 10, 100, false},
    {I, 6, 182, 182, 0, kAny, nullptr, "Grand Ridge", "BGA2363", 7, 100, false},
    {I, 6, 55, 55, 0, kAny, nullptr, "Bay Trail", "BGA1170", 22, 100, false},
    {I, 6, 74, 74, 0, kAny, nullptr, "Merrifield", "BGA", 22, 100, false},
    {I, 6, 90, 90, 0, kAny, nullptr, "Moorefield", "BGA", 22, 100, false},
    {I, 6, 93, 93, 0, kAny, nullptr, "SoFIA", "BGA", 28, 100, false},
    {I, 6, 76, 76, 0, kAny, "atom", "Cherry Trail", "BGA1380", 14, 100, false},
    {I, 6, 76, 76, 0, kAny, nullptr, "Braswell", "BGA1170", 14, 100, false},
    {I, 6, 117, 117, 0, kAny, nullptr, "Lightning Mountain", "BGA", 14, 100, false},
    {I, 6, 92, 92, 0, kAny, nullptr, "Apollo Lake", "BGA1296", 14, 100, false},
    {I, 6, 122, 122, 0, kAny, nullptr, "Gemini Lake", "BGA1090", 14, 100, false},
    {I, 6, 150, 150, 0, kAny, nullptr, "Elkhart Lake", "BGA1493", 10, 100, false},
    {I, 6, 156, 156, 0, kAny, nullptr, "Jasper Lake", "BGA1338", 10, 100, false},
    // AMD K8: HyperTransport reference clock 200 MHz.
    {A, 15, 0, 15, 0, kAny, nullptr, "ClawHammer", "Socket 754", 130, 200, false},
    {A, 15, 16, 63, 0, kAny, "x2", "Toledo", "Socket 939", 90, 200, false},
    {A, 15, 16, 63, 0, kAny, "opteron", "Venus", "Socket 940", 90, 200, false},
    {A, 15, 16, 63, 0, kAny, nullptr, "Venice", "Socket 939", 90, 200, false},
    {A, 15, 64, 95, 0, kAny, "opteron", "Santa Rosa", "Socket F (1207)", 90, 200, false},
    {A, 15, 64, 95, 0, kAny, "x2", "Windsor", "Socket AM2", 90, 200, false},
    {A, 15, 64, 95, 0, kAny, nullptr, "Orleans", "Socket AM2", 90, 200, false},
    {A, 15, 96, 127, 0, kAny, "x2", "Brisbane", "Socket AM2", 65, 200, false},
    {A, 15, 96, 127, 0, kAny, nullptr, "Lima", "Socket AM2", 65, 200, false},
    {A, 15, 128, 255, 0, kAny, nullptr, "Tyler", "Socket S1", 65, 200, false},
    // K10.
    {A, 16, 2, 2, 0, kAny, "opteron", "Barcelona", "Socket F (1207)", 65, 200, false},
    {A, 16, 2, 2, 0, kAny, "x2", "Kuma", "Socket AM2+", 65, 200, false},
    {A, 16, 2, 2, 0, kAny, "x3", "Toliman", "Socket AM2+", 65, 200, false},
    {A, 16, 2, 2, 0, kAny, nullptr, "Agena", "Socket AM2+", 65, 200, false},
    {A, 16, 4, 4, 0, kAny, "opteron", "Shanghai", "Socket F (1207)", 45, 200, false},
    {A, 16, 4, 4, 0, kAny, "x3", "Heka", "Socket AM3", 45, 200, false},
    {A, 16, 4, 4, 0, kAny, "x2", "Callisto", "Socket AM3", 45, 200, false},
    {A, 16, 4, 4, 0, kAny, nullptr, "Deneb", "Socket AM3", 45, 200, false},
    {A, 16, 5, 5, 0, kAny, "x3", "Rana", "Socket AM3", 45, 200, false},
    {A, 16, 5, 5, 0, kAny, nullptr, "Propus", "Socket AM3", 45, 200, false},
    {A, 16, 6, 6, 0, kAny, "@mobile", "Caspian", "Socket S1G3", 45, 200, false},
    {A, 16, 6, 6, 0, kAny, "turion", "Caspian", "Socket S1G3", 45, 200, false},
    {A, 16, 6, 6, 0, kAny, "sempron", "Sargas", "Socket AM3", 45, 200, false},
    {A, 16, 6, 6, 0, kAny, nullptr, "Regor", "Socket AM3", 45, 200, false},
    {A, 16, 8, 8, 0, kAny, "processor 41", "Lisbon", "Socket C32", 45, 200, false},
    {A, 16, 8, 8, 0, kAny, nullptr, "Istanbul", "Socket F (1207)", 45, 200, false},
    {A, 16, 9, 9, 0, kAny, nullptr, "Magny-Cours", "Socket G34", 45, 200, false},
    {A, 16, 10, 10, 0, kAny, "x4", "Zosma", "Socket AM3", 45, 200, false},
    {A, 16, 10, 10, 0, kAny, nullptr, "Thuban", "Socket AM3", 45, 200, false},
    {A, 17, 0, kAny, 0, kAny, nullptr, "Griffin", "Socket S1G2", 65, 200, false},
    {A, 18, 0, kAny, 0, kAny, nullptr, "Llano", "Socket FM1", 32, 100, false},
    {A, 20, 0, kAny, 0, kAny, nullptr, "Ontario/Zacate", "BGA413 (FT1)", 40, 100, false},
    // Bulldozer family.
    {A, 21, 1, 1, 0, kAny, "processor 42", "Valencia", "Socket C32", 32, 200, false},
    {A, 21, 1, 1, 0, kAny, "opteron", "Interlagos", "Socket G34", 32, 200, false},
    {A, 21, 1, 1, 0, kAny, nullptr, "Zambezi", "Socket AM3+", 32, 200, false},
    {A, 21, 2, 2, 0, kAny, "processor 43", "Seoul", "Socket C32", 32, 200, false},
    {A, 21, 2, 2, 0, kAny, "opteron", "Abu Dhabi", "Socket G34", 32, 200, false},
    {A, 21, 2, 2, 0, kAny, nullptr, "Vishera", "Socket AM3+", 32, 200, false},
    {A, 21, 16, 16, 0, kAny, nullptr, "Trinity", "Socket FM2", 32, 100, false},
    {A, 21, 19, 19, 0, kAny, nullptr, "Richland", "Socket FM2", 32, 100, false},
    {A, 21, 48, 48, 0, kAny, nullptr, "Kaveri", "Socket FM2+", 28, 100, false},
    {A, 21, 56, 56, 0, kAny, nullptr, "Godavari", "Socket FM2+", 28, 100, false},
    {A, 21, 96, 96, 0, kAny, nullptr, "Carrizo", "BGA (FP4)", 28, 100, false},
    {A, 21, 101, 101, 0, kAny, nullptr, "Bristol Ridge", "Socket AM4", 28, 100, false},
    {A, 21, 112, 112, 0, kAny, nullptr, "Stoney Ridge", "BGA (FP4)", 28, 100, false},
    {A, 22, 0, 15, 0, kAny, "opteron", "Kyoto", "BGA769 (FT3)", 28, 100, false},
    {A, 22, 0, 15, 0, kAny, nullptr, "Kabini", "Socket AM1 (FS1b)", 28, 100, false},
    {A, 22, 48, 63, 0, kAny, nullptr, "Beema", "BGA (FT3b)", 28, 100, false},
    // Zen.
    {A, 23, 1, 1, 0, kAny, "epyc", "Naples", "Socket SP3", 14, 100, false},
    {A, 23, 1, 1, 0, kAny, "threadripper", "Whitehaven", "Socket TR4", 14, 100, false},
    {A, 23, 1, 1, 0, kAny, nullptr, "Summit Ridge", "Socket AM4", 14, 100, false},
    {A, 23, 8, 8, 0, kAny, "threadripper", "Colfax", "Socket TR4", 12, 100, false},
    {A, 23, 8, 8, 0, kAny, nullptr, "Pinnacle Ridge", "Socket AM4", 12, 100, false},
    {A, 23, 17, 17, 0, kAny, "@mobile", "Raven Ridge", "BGA1140 (FP5)", 14, 100, false},
    {A, 23, 17, 17, 0, kAny, nullptr, "Raven Ridge", "Socket AM4", 14, 100, false},
    {A, 23, 24, 24, 0, kAny, "@mobile", "Picasso", "BGA1140 (FP5)", 12, 100, false},
    {A, 23, 24, 24, 0, kAny, nullptr, "Picasso", "Socket AM4", 12, 100, false},
    {A, 23, 32, 32, 0, kAny, nullptr, "Dali", "BGA1140 (FP5)", 14, 100, false},
    {A, 23, 49, 49, 0, kAny, "threadripper pro", "Castle Peak", "Socket sWRX8", 7, 100, false},
    {A, 23, 49, 49, 0, kAny, "threadripper", "Castle Peak", "Socket sTRX4", 7, 100, false},
    {A, 23, 49, 49, 0, kAny, nullptr, "Rome", "Socket SP3", 7, 100, false},
    {A, 23, 96, 96, 0, kAny, "@mobile", "Renoir", "BGA1140 (FP6)", 7, 100, false},
    {A, 23, 96, 96, 0, kAny, nullptr, "Renoir", "Socket AM4", 7, 100, false},
    {A, 23, 104, 104, 0, kAny, nullptr, "Lucienne", "BGA1140 (FP6)", 7, 100, false},
    {A, 23, 113, 113, 0, kAny, nullptr, "Matisse", "Socket AM4", 7, 100, false},
    {A, 23, 144, 144, 0, kAny, nullptr, "Van Gogh", "BGA1140 (FF3)", 7, 100, false},
    {A, 23, 145, 145, 0, kAny, nullptr, "Van Gogh", "BGA1140 (FF3)", 7, 100, false},
    {A, 23, 160, 160, 0, kAny, nullptr, "Mendocino", "BGA (FT6)", 6, 100, false},
    {A, 25, 1, 1, 0, kAny, "threadripper", "Chagall", "Socket sWRX8", 7, 100, false},
    {A, 25, 1, 1, 0, kAny, nullptr, "Milan", "Socket SP3", 7, 100, false},
    {A, 25, 8, 8, 0, kAny, nullptr, "Chagall", "Socket sWRX8", 7, 100, false},
    {A, 25, 16, 17, 0, kAny, nullptr, "Genoa", "Socket SP5", 5, 100, false},
    {A, 25, 24, 24, 0, kAny, nullptr, "Storm Peak", "Socket sTR5", 5, 100, false},
    {A, 25, 33, 33, 0, kAny, nullptr, "Vermeer", "Socket AM4", 7, 100, false},
    {A, 25, 64, 68, 0, kAny, nullptr, "Rembrandt", "BGA1140 (FP7)", 6, 100, false},
    {A, 25, 80, 80, 0, kAny, "@mobile", "Cezanne", "BGA1140 (FP6)", 7, 100, false},
    {A, 25, 80, 80, 0, kAny, nullptr, "Cezanne", "Socket AM4", 7, 100, false},
    {A, 25, 97, 97, 0, kAny, "@mobile", "Dragon Range", "BGA (FL1)", 5, 100, false},
    {A, 25, 97, 97, 0, kAny, nullptr, "Raphael", "Socket AM5", 5, 100, false},
    {A, 25, 116, 116, 0, kAny, nullptr, "Phoenix", "BGA (FP7/FP8)", 4, 100, false},
    {A, 25, 117, 117, 0, kAny, nullptr, "Hawk Point", "BGA (FP7/FP8)", 4, 100, false},
    {A, 25, 120, 120, 0, kAny, nullptr, "Phoenix 2", "BGA (FP7/FP8)", 4, 100, false},
    {A, 25, 160, 175, 0, kAny, "epyc 8", "Siena", "Socket SP6", 5, 100, false},
    {A, 25, 160, 175, 0, kAny, nullptr, "Bergamo", "Socket SP5", 5, 100, false},
    {A, 26, 8, 8, 0, kAny, "threadripper", "Shimada Peak", "Socket sTR5", 4, 100, false},
    {A, 26, 0, 15, 0, kAny, nullptr, "Turin", "Socket SP5", 4, 100, false},
    {A, 26, 16, 31, 0, kAny, nullptr, "Turin Dense", "Socket SP5", 3, 100, false},
    {A, 26, 32, 47, 0, kAny, nullptr, "Strix Point", "BGA (FP8)", 4, 100, false},
    {A, 26, 68, 68, 0, kAny, "@mobile", "Fire Range", "BGA (FL1)", 4, 100, false},
    {A, 26, 68, 68, 0, kAny, nullptr, "Granite Ridge", "Socket AM5", 4, 100, false},
    {A, 26, 96, 111, 0, kAny, nullptr, "Krackan Point", "BGA (FP8)", 4, 100, false},
    {A, 26, 112, 127, 0, kAny, nullptr, "Strix Halo", "BGA (FP11)", 4, 100, false},
    {CpuVendor::Hygon, 24, 0, kAny, 0, kAny, nullptr, "Dhyana", "Socket SP3", 14, 100, false},
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool IsMobileBrand(std::string_view brandIn) {
  const std::string brand = Lower(brandIn);
  if (brand.find("mobile") != std::string::npos) return true;
  // Find the model token: the word after "core(tm)2 duo", "i7-", "ryzen 7" and similar.
  std::vector<std::string> words;
  std::string w;
  for (char c : brand) {
    if (c == ' ' || c == '@') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w.push_back(c);
    }
  }
  if (!w.empty()) words.push_back(w);
  for (const std::string& word : words) {
    if (word.size() < 4) continue;
    const std::size_t dash = word.find('-');
    std::string token = dash == std::string::npos ? word : word.substr(dash + 1);
    if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0]))) {
      // Core 2 mobile parts: T7500, P8600, L7400, SU9400.
      if (token.size() >= 5 && (token[0] == 't' || token[0] == 'p' || token[0] == 'l') &&
          std::isdigit(static_cast<unsigned char>(token[1])) &&
          std::isdigit(static_cast<unsigned char>(token.back())))
        return true;
      continue;
    }
    std::size_t i = 0;
    while (i < token.size() && std::isdigit(static_cast<unsigned char>(token[i]))) ++i;
    if (i < 3) continue;
    const std::string suffix = token.substr(i);
    for (const char* s :
         {"u", "h", "hq", "hk", "hs", "hx", "m", "mq", "mx", "y", "p", "g1", "g4", "g7", "v"})
      if (suffix == s) return true;
  }
  return false;
}

CpuModelInfo LookupCpuModel(CpuVendor vendor, int family, int model, int stepping,
                            std::string_view brandIn) {
  const std::string brand = Lower(brandIn);
  const bool mobile = IsMobileBrand(brandIn);
  for (const Row& r : kRows) {
    if (r.vendor != vendor || r.family != family) continue;
    if (model < r.modelLo || model > r.modelHi) continue;
    if (stepping < r.stepLo || stepping > r.stepHi) continue;
    if (r.token != nullptr) {
      const std::string_view t = r.token;
      if (t == "@mobile") {
        if (!mobile) continue;
      } else if (brand.find(t) == std::string::npos) {
        continue;
      }
    }
    return CpuModelInfo{r.codeName, r.package, r.nm, r.bus, r.quad};
  }
  return {};
}

}  // namespace korvane::hwprobe
