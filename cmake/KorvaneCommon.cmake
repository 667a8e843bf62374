# Shared compile settings. Our own targets link korvane_warnings; third-party headers come in
# as SYSTEM includes so their warnings never fail our build.
add_library(korvane_warnings INTERFACE)
target_compile_options(korvane_warnings INTERFACE
  -Wall -Wextra -Werror -Wno-missing-field-initializers)
# GCC 12's flow warnings misfire inside the standard library's string and algorithm headers at
# -O3 and under the sanitizers (impossible sizes such as 2^63); they stay warnings there.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(korvane_warnings INTERFACE
    -Wno-error=restrict -Wno-error=stringop-overflow -Wno-error=array-bounds)
endif()

if(KORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

# korvane_add_layer(<folder> [DEPS targets...] [PUBLIC_DEPS targets...])
# One library per source folder, named korvane_<folder>. Sources are the folder's .cpp files so
# that adding a file needs no edit here; a folder without sources yet is an interface target.
function(korvane_add_layer folder)
  cmake_parse_arguments(L "" "" "DEPS;PRIVATE_DEPS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.S)
  foreach(ex IN LISTS L_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "/${ex}$")
  endforeach()
  set(tgt korvane_${folder})
  if(srcs)
    add_library(${tgt} STATIC ${srcs})
    target_include_directories(${tgt} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${tgt} PUBLIC ${L_DEPS} PRIVATE korvane_warnings ${L_PRIVATE_DEPS})
  else()
    add_library(${tgt} INTERFACE)
    target_include_directories(${tgt} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${tgt} INTERFACE ${L_DEPS})
  endif()
endfunction()
