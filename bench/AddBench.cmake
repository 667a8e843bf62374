# Lets run_bench.sh build the tools in this folder before the top-level CMakeLists adds it:
# passed as CMAKE_PROJECT_INCLUDE it adds the folder right after project(); the targets it
# links are resolved when the build files are generated.
if(NOT KORVANE_BENCH_DIR_ADDED AND NOT TARGET korvane-benchref)
  set(KORVANE_BENCH_DIR_ADDED ON)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR} ${CMAKE_BINARY_DIR}/bench-tools)
endif()
