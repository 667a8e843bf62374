#!/usr/bin/env bash
# Builds the EDID and machine-file parser fuzzers with clang's libFuzzer, ASan and UBSan (not
# part of the CMake build). Needs the Debian packages clang and libclang-rt-14-dev.
#   tests/fuzz/build_sysinfo_fuzzers.sh [output-dir]
#   <output-dir>/fuzz_edid -max_total_time=300 <corpus-dir>
#   <output-dir>/fuzz_hda_codec -max_total_time=300 <corpus-dir>
# Seed corpora: the fixture machines' EDIDs and codec files (prefix a selector byte for the
# second target: 0 codec, 1 card list, 2 PCI resources, 3 cpuinfo, 4 IDENTIFY, 5 kernel version,
# 6 usb.ids, 7 modes and paths).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Wall -Wextra -Werror -Wno-missing-field-initializers -I"$root/src" -I"$root/src/platform/include")
platform=("$root/src/platform/linux/Text.cpp" "$root/src/platform/linux/Sysroot.cpp")
"$cxx" "${flags[@]}" "$root/tests/fuzz/fuzz_edid.cpp" "$root/src/sysinfo/Edid.cpp" "${platform[@]}" \
  -o "$out/fuzz_edid"
"$cxx" "${flags[@]}" "$root/tests/fuzz/fuzz_hda_codec.cpp" "$root/src/sysinfo/HdaCodec.cpp" \
  "$root/src/sysinfo/LinuxHardware.cpp" "$root/src/sysinfo/UsbIds.cpp" "${platform[@]}" \
  -o "$out/fuzz_hda_codec"
echo "$out/fuzz_edid"
echo "$out/fuzz_hda_codec"
