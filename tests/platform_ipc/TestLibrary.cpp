// Loaded by the dynamic-library tests.
extern "C" __attribute__((visibility("default"))) int korvane_test_answer() { return 42; }
