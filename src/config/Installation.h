#pragma once

namespace korvane {

inline constexpr const char* kProgramRegistryKey = "Software\\Quillmark\\Tovix2";

// Stores "ExeName" (the running executable, skipped when unknown) and "Version" under the
// program's key of the current user, creating the key when missing, so the maker's other
// tools can find this program. Failures are ignored: nothing here may stop the start-up.
void RecordInstallation();

}  // namespace korvane
