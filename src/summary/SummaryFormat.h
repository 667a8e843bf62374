#pragma once
// The number and text formats of the summary page: clock and size texts, the memory timing and
// ratio texts, the monitor's aspect ratio and the board's O.E.M. texts.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace korvane::summary {

// Clock rounding to the 33.33 MHz grid the board makers quote.
double Round33(double mhz);
// "850M", "2.40G", "1.00T"; "Error." below zero.
std::string FormatClockF(float mhz);
std::string FormatClockI(std::int32_t mhz);
// Sizes in MB: "512 M", "2 G", "1.6 G", "1.1 T" (and the same without the space).
std::string FormatMBSpaced(std::uint64_t mb);
std::string FormatMBCompact(std::uint64_t mb);
// A decimal byte count given as text: "500 G", "2 T"; text that is no number counts as 0.
std::string FormatDecimal(std::string_view bytesText);

// The stock multiplier from the stock and bus clocks, to the nearest half.
double StockMultiplier(std::int32_t stockMHz, std::int32_t busMHz);

// Memory type names by the library's type code, and how many transfers a clock carries.
std::string MemoryTypeName(std::int32_t typeCode);
std::int32_t DataRateFactor(std::int32_t typeCode);
// The rated clock a module is sold for, from its current clock.
std::int32_t RatedClockFromCurrent(double currentMHz);
// "5-5-5-15 CR2 (CL-RCD-RP-RAS-CR)"; missing values (negative) count as 0.
std::string TimingsText(float cl, std::int32_t rcd, std::int32_t rp, std::int32_t ras,
                        std::int32_t trc, std::int32_t cr);
// "1:2" of the bus and memory clocks on the 33.33 MHz grid; "1:1" when both are unknown.
std::string FsbDramRatio(double busMHz, double memoryMHz);
// "16 : 10", "5 : 4"; "" when a side is not positive.
std::string AspectRatioText(std::int32_t width, std::int32_t height);

// "To be filled by O.E.M." (any case) becomes "Vendor O.E.M." / "Model O.E.M.".
bool IsOemPlaceholder(std::string_view text);
std::string BoardVendorText(std::string_view vendor);
std::string BoardVendorShort(std::string_view vendor);  // up to the first space
std::string BoardModelText(std::string_view model);

// Fills a language text that carries printf conversions (%s, %d, %0.1f ...) with texts that are
// already formatted, in order. The template is never handed to printf, so a table text can not
// read past its arguments; missing arguments become empty texts.
std::string FillTemplate(std::string_view templ, std::initializer_list<std::string_view> args);

}  // namespace korvane::summary
