// Runs the window tests on Qt's offscreen platform: no display is needed.
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/UiTestRegistry.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
  std::vector<char*> rest = {argv[0]};
  for (int i = only != nullptr ? 2 : 1; i < argc; ++i) rest.push_back(argv[i]);
  int failed = 0;
  bool ran = false;
  for (const auto& [name, factory] : orvane::test::UiTests()) {
    if (only != nullptr && std::strcmp(only, name) != 0) continue;
    ran = true;
    auto test = factory();
    failed += QTest::qExec(test.get(), static_cast<int>(rest.size()), rest.data());
  }
  if (!ran) {
    std::fprintf(stderr, "no test class named %s\n", only);
    return 2;
  }
  return failed == 0 ? 0 : 1;
}
