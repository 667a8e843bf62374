// Runs the link and text-render test classes in one application.
#include <QApplication>

int RunHyperLinkTests(int argc, char** argv);
int RunTextRenderTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failed = RunHyperLinkTests(argc, argv);
  failed += RunTextRenderTests(argc, argv);
  return failed == 0 ? 0 : 1;
}
