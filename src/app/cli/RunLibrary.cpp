#include "app/cli/RunLibrary.h"

#include "hwlib/HardwareLibrary.h"

namespace korvane {

CRunLibrary::CRunLibrary() {
  const auto bytes = EmbeddedHardwareLibrary();
  if (bytes.empty() || !copy_.WriteToMemory(bytes) || !module_.Load(copy_.LoadPath())) return;
  sdk_.Bind(reinterpret_cast<qmhdw::QueryInterfaceFn>(module_.Resolve("QueryInterface")));
  char textA[kLibTextSize] = {};
  ready_ = sdk_.CreateInstance() && sdk_.Init(textA, copy_.LoadPath().c_str()) != 0;
}

CRunLibrary::~CRunLibrary() {
  if (ready_) {
    sdk_.Close();
    sdk_.DestroyInstance();
  }
}

}  // namespace korvane
