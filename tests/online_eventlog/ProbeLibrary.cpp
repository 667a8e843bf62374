// Test double of the logging library: keeps a copy of the last record it was handed.
#include <cstring>

namespace {
unsigned char g_last[240];
int g_lastKind = -1;
int g_calls = 0;
}  // namespace

extern "C" __attribute__((visibility("default"))) int AddLog(int kind, const void* record) {
  std::memcpy(g_last, record, sizeof g_last);
  g_lastKind = kind;
  ++g_calls;
  return 100 + kind;  // lets the caller see that the result is passed back
}

extern "C" __attribute__((visibility("default"))) const unsigned char* ProbeLastRecord() { return g_last; }
extern "C" __attribute__((visibility("default"))) int ProbeLastKind() { return g_lastKind; }
extern "C" __attribute__((visibility("default"))) int ProbeCalls() { return g_calls; }
