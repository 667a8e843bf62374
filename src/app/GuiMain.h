#pragma once

namespace korvane {

// Runs the windowed program; returns the process exit status.
int RunGui(int argc, char** argv);

// SIGTERM and SIGINT close the main window the normal way (so the exit sequence runs) instead
// of ending the process on the spot. Needs a QApplication; safe to call once.
void InstallQuitSignalHandlers();

}  // namespace korvane
