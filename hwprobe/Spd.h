#pragma once
// Decoding of memory-module SPD EEPROM contents (DDR3, DDR4, DDR5; DDR and DDR2 by type only).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::hwprobe {

struct SpdTimingEntry {
  int frequencyMHz = 0;  // clock, not data rate
  int cas = 0;           // CAS latency in clocks at that clock
  int rcd = 0;           // RAS-to-CAS delay in clocks (tRP rounds the same way on every module seen)
  int rp = 0;
  int ras = 0;
  int rc = 0;
};

struct SpdModule {
  int typeCode = -1;        // memory-type code of QmHdwApi.h
  int sizeMB = -1;
  int maxClockMHz = -1;     // 1 / tCKmin
  int minClockMHz = -1;     // 1 / tCKmax (-1 when not stated)
  int ranks = 0;
  int dataWidth = 0;        // primary bus width in bits
  std::string manufacturer; // JEP106 name, or "" when unknown
  std::string partNumber;
  std::string serialNumber; // 8 hex digits
  int year = -1, week = -1;
  // Minimum times in nanoseconds (-1 when not decoded): tAA, tRCD, tRP, tRAS, tRC.
  double tCKmin = -1, tAA = -1, tRCD = -1, tRP = -1, tRAS = -1, tRC = -1;
  std::vector<int> casLatencies;  // supported CAS latencies, ascending
};

// nullopt when the bytes are no SPD image we know (too short, unknown memory type).
std::optional<SpdModule> DecodeSpd(std::span<const std::uint8_t> bytes);

// Cycles for a minimum time at a clock, with the JEDEC guard band (a time a hair above a whole
// number of clocks does not cost a clock more).
int ClocksFor(double ns, double clockMHz);

// The standard operating points of a module, fastest first: clock, CAS and the other timings
// in clocks. CAS is the smallest supported latency that meets tAA.
std::vector<SpdTimingEntry> BuildTimingTable(const SpdModule& m);
// The same for one clock (the configured memory clock); nullopt without timings.
std::optional<SpdTimingEntry> TimingsAt(const SpdModule& m, double clockMHz);

// JEP106 manufacturer name; `continuation` is the count byte as stored (parity bit included).
std::string Jep106Name(std::uint8_t continuation, std::uint8_t code);
// The maker named by a text of JEDEC bytes in hex as firmware writes it ("80AD", "859B",
// "7F7F7F7F7F510000", "Unknown (80CE)"); empty when the text is no such code or names nobody.
std::string Jep106NameFromText(std::string_view text);
bool Jep106OddParity(std::uint8_t byte);

}  // namespace korvane::hwprobe
