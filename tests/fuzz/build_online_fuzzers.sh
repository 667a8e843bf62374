#!/usr/bin/env bash
# Builds the driver-database fuzzers with clang's libFuzzer, ASan and UBSan (not part of the
# CMake build). Needs the Debian packages clang, libclang-rt-14-dev, libtinyxml2-dev.
#   tests/fuzz/build_online_fuzzers.sh [output-dir]
#   <output-dir>/fuzz_drive_xml -max_total_time=600 <corpus-dir>
#   <output-dir>/fuzz_server_query -max_total_time=600 <corpus-dir>
# Seed corpora: answers saved from korvane-server (fuzz_drive_xml) and enciphered queries from
# `korvane --driver-query ID --json` (the part after "?", fuzz_server_query).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Wall -Wextra -Werror -Wno-missing-field-initializers -I"$root/src" -I"$root/src/platform/include")
cipher=("$root/src/scores/TextCipher.cpp" "$root/src/scores/Des.cpp" "$root/src/scores/Md5.cpp")
"$cxx" "${flags[@]}" "$root/tests/fuzz/fuzz_drive_xml.cpp" "$root/src/online/XmlDriveInfo.cpp" \
  "$root/src/platform/linux/Text.cpp" $(pkg-config --cflags --libs tinyxml2) -o "$out/fuzz_drive_xml"
"$cxx" "${flags[@]}" -I"$root/server" "$root/tests/fuzz/fuzz_server_query.cpp" \
  "$root/server/DriverSearch.cpp" "$root/server/HardwareIdKeys.cpp" "${cipher[@]}" -o "$out/fuzz_server_query"
echo "$out/fuzz_drive_xml"
echo "$out/fuzz_server_query"
