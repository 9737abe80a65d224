// orvane-ftp-server: the desktop program. The main window, its tray icon and its settings
// windows over the same host as orvane-ftpd; memo lines also go to standard output, as there.
// SIGINT and SIGTERM end it cleanly without asking anything.
//
//   orvane-ftp-server [PORT] [--dir DIR] [-h|--help] [-V|--version] [Qt options]
//
// Exit codes as orvane-ftpd's: 0 after the end (and --help, --version), 1 when it could not
// start, 2 for a wrong command line, no settings directory or a configuration it cannot start
// with.
#include <dlfcn.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "host/ProgramStart.h"
#include "platform/AutostartEntry.h"
#include "platform/UniqueFd.h"
#include "ui/DesktopProgram.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Whether an X server answers on DISPLAY. libxcb is what Qt's own X11 support loads; it is
// opened here only to ask, so that a display that is set but gone is reported in one line
// instead of ending inside Qt's platform plugin.
bool XDisplayAnswers() {
  void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (xcb == nullptr) return true;  // cannot ask: let Qt try
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
  auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
  auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
  bool answers = true;
  if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
    void* connection = connect(nullptr, nullptr);
    answers = hasError(connection) == 0;
    disconnect(connection);
  }
  ::dlclose(xcb);
  return answers;
}

bool WaylandDisplayAnswers(const std::string& display) {
  const std::string path = display[0] == '/' ? display : Env("XDG_RUNTIME_DIR") + "/" + display;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool PlatformPluginExists(const char* file) {
  const std::string path =
      QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms/" + file;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Chooses Qt's platform for the display that is there and sets QT_QPA_PLATFORM to it, so that
// Qt never ends inside a platform plugin that cannot start. Returns why not when no display is
// usable; a platform asked for other than X11 or Wayland (offscreen, vnc ...) is left to Qt.
std::string ChooseDisplay() {
  const std::string asked = Env("QT_QPA_PLATFORM");
  const bool askedX = asked.rfind("xcb", 0) == 0;
  const bool askedWayland = asked.rfind("wayland", 0) == 0;
  if (!asked.empty() && !askedX && !askedWayland) return "";
  const std::string wayland = Env("WAYLAND_DISPLAY");
  const std::string x = Env("DISPLAY");
  if (wayland.empty() && x.empty())
    return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  const bool waylandUsable = !askedX && !wayland.empty() && WaylandDisplayAnswers(wayland) &&
                             PlatformPluginExists("libqwayland-generic.so");
  if (waylandUsable) {
    if (asked.empty()) ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    return "";
  }
  if (!askedWayland && !x.empty()) {
    if (!XDisplayAnswers()) return "the display " + x + " does not answer";
    if (!PlatformPluginExists("libqxcb.so")) return "Qt's X11 support (libqxcb.so) is missing";
    if (asked.empty()) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return "";
  }
  if (!wayland.empty() && !WaylandDisplayAnswers(wayland)) {
    return "the display " + wayland + " does not answer";
  }
  return "Qt's support for this display is missing";
}

}  // namespace

int main(int argc, char** argv) {
  orvane::ProgramStart start =
      orvane::ProgramStart::Begin(argc, argv, orvane::CommandLine::Program::Desktop,
                                  "orvane-ftp-server", {SIGTERM, SIGINT});
  if (start.exitStatus) return *start.exitStatus;
  const orvane::CommandLine& args = start.args;
  const orvane::UniqueFd& signalFd = start.signalFd;
  // A platform named on the command line (-platform offscreen) is Qt's to choose.
  const std::string noDisplay = args.toolkitPlatform.empty() ? ChooseDisplay() : "";
  if (!noDisplay.empty()) {
    std::cerr << "orvane-ftp-server: " << noDisplay
              << "; run orvane-ftpd to serve FTP without windows\n";
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("orvane-ftp-server");
  QApplication::setDesktopFileName("orvane-ftp-server");
  QApplication::setWindowIcon(QIcon(":/icons/orvane-ftp-server.svg"));
  // The program lives on in the notification area when its windows are hidden; it ends when
  // the main window closes.
  QApplication::setQuitOnLastWindowClosed(false);

  orvane::DesktopProgram::Options options;
  options.dir = args.dir;
  options.port = args.port;
  options.autostartDirectory = orvane::AutostartEntry::DefaultDirectory();
  options.autostartCommand = {orvane::CommandLine::ExecutablePath()};
  if (args.dirGiven) {
    char* full = ::realpath(args.dir.c_str(), nullptr);
    options.autostartCommand.push_back("--dir");
    options.autostartCommand.push_back(full != nullptr ? full : args.dir);
    std::free(full);
  }
  options.echoToStdout = true;

  orvane::DesktopProgram program(std::move(options));
  QObject::connect(&program, &orvane::DesktopProgram::finished, &app, &QApplication::quit);
  const orvane::EventLoop::Token signalToken =
      program.Loop().AddFd(signalFd.Get(), EPOLLIN, [&program, &signalFd](uint32_t) {
        signalfd_siginfo info;
        while (::read(signalFd.Get(), &info, sizeof info) == sizeof info) {
        }
        program.End();
      });

  int status = 0;
  if (!program.Start()) {
    status = program.Host().ConfigurationRefused() ? 2 : 1;
  } else if (!program.Ending()) {
    app.exec();
  }
  program.Finish();
  program.Loop().Release(signalToken);
  return status;
}
