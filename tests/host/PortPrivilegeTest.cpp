// A port that needs a privilege the process lacks is reported as such, not as a port in use.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "host/HostTestSupport.h"

namespace orvane::test {

namespace {

int UnprivilegedPortStart() {
  std::ifstream in("/proc/sys/net/ipv4/ip_unprivileged_port_start");
  int start = 1024;
  in >> start;
  return start;
}

}  // namespace

TEST(PortPrivilege, LowPortWithoutThePrivilegeSaysWhatToDo) {
  if (UnprivilegedPortStart() <= 21) GTEST_SKIP() << "this system lets anybody bind port 21";
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  // The host runs in a child that gives up root, if it has it, before binding.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    EventLoop loop;
    FakeUi ui;
    FtpHost host(loop, ui, dir.Path() + "/");
    if (!host.StartUp(std::string("21"), true)) ::_exit(4);
    const bool said =
        ui.messages.size() == 1 &&
        ui.messages[0].rfind("Port number 21 is reserved for privileged programs !", 0) == 0 &&
        ui.messages[0].find("1024") != std::string::npos &&
        ui.messages[0].find("cap_net_bind_service") != std::string::npos;
    host.Finish(false);
    ::_exit(said && !host.Active() ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace orvane::test
