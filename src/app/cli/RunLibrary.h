#pragma once

#include "hwlib/CpuidSdk.h"
#include "hwlib/LibraryCopy.h"
#include "platform/DynamicLibrary.h"

namespace korvane {

// The hardware library for the length of one terminal run, from an anonymous memory file:
// nothing is written to disk, so an interrupted run leaves nothing behind, and a running
// window's copy is never touched.
class CRunLibrary {
 public:
  CRunLibrary();
  ~CRunLibrary();
  CRunLibrary(const CRunLibrary&) = delete;
  CRunLibrary& operator=(const CRunLibrary&) = delete;

  // Null when the library could not be written, loaded or started.
  CPUIDSDK* Get() { return ready_ ? &sdk_ : nullptr; }

 private:
  CLibraryCopy copy_;
  platform::DynamicLibrary module_;
  CPUIDSDK sdk_;
  bool ready_ = false;
};

}  // namespace korvane
