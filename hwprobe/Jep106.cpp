// JEP106 manufacturer codes of memory-module makers, as data. Codes are stored as they appear in
// SPD (odd parity in bit 7); the bank is the continuation count + 1.
#include <cstdint>
#include <string>

#include "Spd.h"

namespace korvane::hwprobe {
namespace {

struct Maker {
  int bank;
  std::uint8_t code;
  const char* name;
};

constexpr Maker kMakers[] = {
    {1, 0x01, "AMD"},
    {1, 0x04, "Fujitsu"},
    {1, 0x07, "Hitachi"},
    {1, 0x10, "NEC"},
    {1, 0x1C, "Mitsubishi"},
    {1, 0x2C, "Micron Technology"},
    {1, 0x89, "Intel"},
    {1, 0x94, "Smart Modular"},
    {1, 0x97, "Texas Instruments"},
    {1, 0x98, "Toshiba"},
    {1, 0xAD, "SK Hynix"},
    {1, 0xB3, "IDT"},
    {1, 0xC1, "Infineon"},
    {1, 0xCE, "Samsung"},
    {1, 0xFE, "Elpida"},
    {2, 0x25, "Kingmax"},
    {2, 0x4F, "Transcend"},
    {2, 0x7A, "Apacer Technology"},
    {2, 0x98, "Kingston"},
    {3, 0x9E, "Corsair"},
    {4, 0x0B, "Nanya Technology"},
    {4, 0x43, "Ramaxel Technology"},
    {5, 0xCB, "A-DATA Technology"},
    {5, 0xCD, "G.Skill"},
    {5, 0xEF, "Team Group"},
    {6, 0x9B, "Crucial Technology"},
    {11, 0xC8, "Advantech"},
};

}  // namespace

std::string Jep106Name(std::uint8_t continuation, std::uint8_t code) {
  const int bank = (continuation & 0x7F) + 1;
  for (const Maker& m : kMakers)
    if (m.bank == bank && m.code == code) return m.name;
  return {};
}

}  // namespace korvane::hwprobe
