#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/ControlService.h"
#include "console/SetupWindowModel.h"
#include "console/StayOnTop.h"
#include "host/ControlSocket.h"
#include "host/FtpHost.h"
#include "net/EventLoop.h"
#include "ui/FreeFilesWindow.h"
#include "ui/NetworkWindow.h"
#include "ui/QtEventLoopDriver.h"
#include "ui/QtHostUi.h"
#include "ui/SecurityWindow.h"
#include "ui/TAbout.h"
#include "ui/TConfigForm.h"
#include "ui/TLogForm.h"
#include "ui/TMainForm.h"
#include "ui/TSpyForm.h"
#include "ui/TTipForm.h"
#include "ui/TUseraccount.h"
#include "ui/TWMessageForm.h"
#include "ui/Tprogress.h"
#include "ui/Tstatistikform.h"
#include "ui/Tuserinfo.h"
#include "ui/WindowFit.h"

namespace orvane {

// The desktop program as a whole: the engine's loop driven from Qt, the host, and the windows,
// created in their fixed order. main() and the window tests build one of these.
//
// Life: Start() creates the windows and runs the start-up (the tip window, the automatic
// start); the Qt event loop then runs until the main window closes or End() is called; Finish()
// then ends the session: clients disconnected with their disconnection hooks run, the
// session-end block written and the log closed.
class DesktopProgram : public QObject {
  Q_OBJECT

 public:
  struct Options {
    std::string dir;                            // FTPsrv.ini and friends; ends with "/"
    std::optional<std::string> port;            // replaces the configured port for the auto start
    std::string autostartDirectory;             // where "Launch with windows" puts its entry
    std::vector<std::string> autostartCommand;  // the program and its arguments
    bool echoToStdout = false;                  // memo lines also on standard output
  };

  explicit DesktopProgram(Options options);
  ~DesktopProgram() override;

  // Creates the windows and starts up; false when the log file could not be opened (the host
  // has said so). Shows the main window unless "Minimize on startup" is on.
  bool Start();
  // Ends the program without asking anything (SIGINT, SIGTERM): leaves every Qt event loop,
  // modal ones included.
  void End();
  // The end of the session, after the Qt event loop has returned.
  void Finish();

  EventLoop& Loop() { return loop_; }
  FtpHost& Host() { return host_; }
  QtHostUi& Ui() { return ui_; }
  TMainForm& MainForm() { return *mainForm_; }
  TConfigForm& ConfigForm() { return *configForm_; }
  TAbout& About() { return *about_; }
  Tuserinfo& Userinfo() { return *userinfo_; }
  TSpyForm& SpyForm() { return *spyForm_; }
  TLogForm& LogForm() { return *logForm_; }
  TWMessageForm& WMessageForm() { return *wMessageForm_; }
  FreeFilesWindow& FreeFilesForm() { return *freeFilesForm_; }
  Tstatistikform& StatistikForm() { return *statistikForm_; }
  TUseraccount& Useraccount() { return *useraccount_; }
  NetworkWindow& NetworkForm() { return *networkForm_; }
  SecurityWindow& SecurityForm() { return *securityForm_; }
  Tprogress& Progress() { return progress_; }
  SetupWindowModel& Setup() { return *setup_; }
  StayOnTop& TopState() { return stayOnTop_; }
  // The tip window of the start-up, while it exists.
  TTipForm* TipForm() { return tipForm_.get(); }
  bool Ending() const { return ending_; }

 signals:
  // The main window closed, or End() was called: the Qt event loop is to stop.
  void finished();

 private:
  void MainFormCreated();

  Options options_;
  WindowFit windowFit_;
  EventLoop loop_;
  QtHostUi ui_;
  FtpHost host_;
  StayOnTop stayOnTop_;
  QtEventLoopDriver driver_;
  std::unique_ptr<TMainForm> mainForm_;
  Tprogress progress_;
  std::unique_ptr<SetupWindowModel> setup_;
  std::unique_ptr<TConfigForm> configForm_;
  std::unique_ptr<TAbout> about_;
  std::unique_ptr<Tuserinfo> userinfo_;
  std::unique_ptr<TSpyForm> spyForm_;
  std::unique_ptr<TLogForm> logForm_;
  std::unique_ptr<TWMessageForm> wMessageForm_;
  std::unique_ptr<FreeFilesWindow> freeFilesForm_;
  std::unique_ptr<Tstatistikform> statistikForm_;
  std::unique_ptr<TUseraccount> useraccount_;
  std::unique_ptr<NetworkWindow> networkForm_;
  std::unique_ptr<SecurityWindow> securityForm_;
  std::unique_ptr<TTipForm> tipForm_;
  bool ending_ = false;
  bool finished_ = false;
  // orvane-ftpctl's socket; the console is made after the spy window so that it goes first.
  ControlSocket control_{loop_};
  std::unique_ptr<ControlService> console_;
};

}  // namespace orvane
