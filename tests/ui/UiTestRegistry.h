#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace orvane::test {

// The Qt Test classes of this executable, by name: main() runs the one named on the command
// line (CTest runs each as its own test), or all of them.
using UiTestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<std::pair<const char*, UiTestFactory>>& UiTests() {
  static std::vector<std::pair<const char*, UiTestFactory>> tests;
  return tests;
}

struct UiTestRegistration {
  UiTestRegistration(const char* name, UiTestFactory factory) {
    UiTests().emplace_back(name, std::move(factory));
  }
};

}  // namespace orvane::test

#define ORVANE_UI_TEST(Class)                                          \
  static const ::orvane::test::UiTestRegistration registration##Class( \
      #Class, [] { return std::make_unique<Class>(); })
