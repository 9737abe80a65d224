// The engine's loop inside Qt's: posted work runs from Qt's own event loop, in order, and the
// loop is never entered twice when a handler opens a nested (modal) Qt event loop.
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <thread>
#include <vector>

#include "net/EventLoop.h"
#include "ui/QtEventLoopDriver.h"
#include "ui/UiTestRegistry.h"

namespace orvane::test {

class EventLoopDriverTest : public QObject {
  Q_OBJECT

 private slots:
  void PostsFromAnotherThreadRunInQtsLoop() {
    EventLoop loop;
    QtEventLoopDriver driver(loop);
    std::vector<int> ran;
    std::thread poster([&loop, &ran] {
      for (int i = 0; i < 3; ++i) loop.Post([&ran, i] { ran.push_back(i); });
    });
    poster.join();
    QTRY_COMPARE(ran.size(), size_t{3});
    QCOMPARE(ran, (std::vector<int>{0, 1, 2}));
  }

  void NestedQtLoopDoesNotReenterTheEngineLoop() {
    EventLoop loop;
    QtEventLoopDriver driver(loop);
    std::vector<std::string> order;
    bool nestedDone = false;
    loop.Post([&] {
      order.push_back("first begins");
      // Another task arrives while this one waits in a nested Qt loop, as behind a modal box.
      std::thread([&loop, &order] { loop.Post([&order] { order.push_back("second"); }); }).join();
      QEventLoop nested;
      QTimer::singleShot(30, &nested, &QEventLoop::quit);
      nested.exec();
      order.push_back("first ends");
      nestedDone = true;
    });
    QTRY_VERIFY(nestedDone);
    QTRY_COMPARE(order.size(), size_t{3});
    QCOMPARE(order, (std::vector<std::string>{"first begins", "first ends", "second"}));
  }
};

ORVANE_UI_TEST(EventLoopDriverTest);

}  // namespace orvane::test

#include "EventLoopDriverTest.moc"
