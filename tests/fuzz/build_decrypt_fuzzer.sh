#!/usr/bin/env bash
# Builds the DecryptText fuzzer with clang's libFuzzer, ASan and UBSan (not part of the CMake
# build). Needs the Debian packages clang and libclang-rt-14-dev.
#   tests/fuzz/build_decrypt_fuzzer.sh [output-dir]
#   <output-dir>/fuzz_decrypt_text -max_total_time=300 <corpus-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -Wall -Wextra -Werror -I"$root/src" \
  "$root/tests/fuzz/fuzz_decrypt_text.cpp" \
  "$root/src/scores/TextCipher.cpp" "$root/src/scores/Des.cpp" "$root/src/scores/Md5.cpp" \
  -o "$out/fuzz_decrypt_text"
echo "$out/fuzz_decrypt_text"
