// A library by the right name that lacks the AddLog export.
extern "C" __attribute__((visibility("default"))) int AddLogSomethingElse(int kind) { return kind; }
