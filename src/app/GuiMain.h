#pragma once

namespace korvane {

// Runs the windowed program; returns the process exit status.
int RunGui(int argc, char** argv);

}  // namespace korvane
