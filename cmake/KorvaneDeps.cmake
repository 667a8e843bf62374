# Third-party libraries, found once for every folder.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
pkg_check_modules(LIBPCI REQUIRED IMPORTED_TARGET libpci)
pkg_check_modules(TINYXML2 REQUIRED IMPORTED_TARGET tinyxml2)
find_package(nlohmann_json 3.10 REQUIRED)

if(KORVANE_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus Network Test)
  find_package(Qt6 OPTIONAL_COMPONENTS WebEngineWidgets WebEngineCore)
endif()

if(KORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
