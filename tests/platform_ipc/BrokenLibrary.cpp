// Refers to a function nothing defines: loading it must fail up front rather than at the
// first call.
extern "C" int korvane_test_nowhere_defined();
extern "C" __attribute__((visibility("default"))) int korvane_test_calls_nowhere() {
  return korvane_test_nowhere_defined() + 1;
}
