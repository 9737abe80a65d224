#include "ui/DesktopProgram.h"

#include <QCoreApplication>

#include "console/TipOfTheDay.h"
#include "platform/IniFile.h"

namespace orvane {

DesktopProgram::DesktopProgram(Options options)
    : options_(std::move(options)),
      ui_(options_.echoToStdout),
      host_(loop_, ui_, options_.dir),
      driver_(loop_) {}

DesktopProgram::~DesktopProgram() {
  Finish();
  ui_.Attach(nullptr);
}

bool DesktopProgram::Start() {
  // The main window first; its creation step is the host's start-up, which hands back to
  // MainFormCreated for the tip window before it reads the setup and starts the engine.
  mainForm_ = std::make_unique<TMainForm>(host_, stayOnTop_);
  ui_.Attach(mainForm_.get());
  connect(mainForm_.get(), &TMainForm::closed, this, &DesktopProgram::finished);
  host_.OnBeforeAutoStart = [this] { MainFormCreated(); };

  setup_ = std::make_unique<SetupWindowModel>(
      host_, AutostartEntry(options_.autostartDirectory, options_.autostartCommand),
      mainForm_->Notices());
  const bool started = host_.StartUp(options_.port, false);
  host_.OnBeforeAutoStart = nullptr;
  if (!started) return false;
  progress_.SetPosition(15);

  configForm_ = std::make_unique<TConfigForm>(*setup_, stayOnTop_);
  configForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  about_ = std::make_unique<TAbout>(stayOnTop_, mainForm_.get());
  about_->OnHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::setupRequested, this, [this] {
    configForm_->show();
    configForm_->raise();
    configForm_->activateWindow();
  });
  connect(mainForm_.get(), &TMainForm::aboutRequested, this, [this] { ui_.RunModal(*about_); });
  userinfo_ = std::make_unique<Tuserinfo>(host_, *mainForm_, stayOnTop_);
  connect(mainForm_.get(), &TMainForm::usersInfosRequested, this, [this] {
    userinfo_->show();
    userinfo_->raise();
  });
  connect(mainForm_.get(), &TMainForm::clientsChanged, userinfo_.get(), &Tuserinfo::SyncEntries);
  mainForm_->DropSelection = [this](QObject* source) -> std::optional<ClientRef> {
    if (source != &userinfo_->ListView1) return std::nullopt;
    return userinfo_->SingleSelection();
  };
  spyForm_ = std::make_unique<TSpyForm>(host_, mainForm_->Actions(), stayOnTop_);
  spyForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  mainForm_->OnSpy = [this](const ClientRef& ref, const std::string& caption) {
    spyForm_->Spy(ref, caption);
  };
  // The settings windows, each shown and raised from its menu item; the free files modally.
  const auto showModeless = [](QDialog& d) {
    d.show();
    d.raise();
    d.activateWindow();
  };
  logForm_ = std::make_unique<TLogForm>(host_, stayOnTop_);
  logForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::logSetupRequested, this,
          [this, showModeless] { showModeless(*logForm_); });
  wMessageForm_ = std::make_unique<TWMessageForm>(host_, stayOnTop_);
  wMessageForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::eventsRequested, this,
          [this, showModeless] { showModeless(*wMessageForm_); });
  freeFilesForm_ = std::make_unique<FreeFilesWindow>(host_, mainForm_.get());
  connect(mainForm_.get(), &TMainForm::freeFilesRequested, this,
          [this] { ui_.RunModal(*freeFilesForm_); });
  statistikForm_ = std::make_unique<Tstatistikform>(host_, stayOnTop_);
  statistikForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::statisticsRequested, this,
          [this, showModeless] { showModeless(*statistikForm_); });
  useraccount_ = std::make_unique<TUseraccount>(host_.Accounts(), ui_, stayOnTop_);
  useraccount_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::usersAccountRequested, this, [this] {
    useraccount_->show();
    useraccount_->raise();
    useraccount_->activateWindow();
  });
  // The windows added after the original ones, each after the last in the Setup menu.
  networkForm_ = std::make_unique<NetworkWindow>(host_, stayOnTop_);
  networkForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::networkRequested, this,
          [this, showModeless] { showModeless(*networkForm_); });
  securityForm_ = std::make_unique<SecurityWindow>(host_, stayOnTop_);
  securityForm_->OnShownOrHidden = [this] { mainForm_->ApplyTopmost(); };
  connect(mainForm_.get(), &TMainForm::securityRequested, this,
          [this, showModeless] { showModeless(*securityForm_); });
  // The loading window keeps the positions of the windows created here.
  for (int position : {25, 30, 35, 40, 45, 65, 75, 90}) progress_.SetPosition(position);
  progress_.End();
  // orvane-ftpctl's socket, once the spy window has its hooks (the console chains them).
  console_ = std::make_unique<ControlService>(host_, control_);
  if (std::string why; !control_.ListenFor(options_.dir, why)) {
    host_.LogScreenOnly("No control socket: " + why);
  }

  if (!host_.Setup().Minimize) {
    mainForm_->show();
  } else if (!mainForm_->MinimizesToTray()) {
    // Without a notification area the window must stay reachable: minimised, not hidden.
    mainForm_->showMinimized();
  }
  return true;
}

void DesktopProgram::MainFormCreated() {
  IniFile ini(host_.IniPath());
  if (TipOfTheDay::ShowAtStartUp(ini) && !ending_) {
    tipForm_ = std::make_unique<TTipForm>(host_.IniPath());
    ui_.RunModal(*tipForm_);
    tipForm_.reset();
  }
  if (StayOnTop::StoredOn(ini)) mainForm_->StayOnTopCommand();
  // The user information window's creation shows the loading window; the setup window's
  // creation step (the host's, next) starts at 10.
  progress_.Begin(100);
  progress_.SetPosition(10);
}

void DesktopProgram::End() {
  ending_ = true;
  ui_.SetUnattended(true);
  if (mainForm_) mainForm_->SetCloseGranted();
  emit finished();
  QCoreApplication::exit(0);
}

void DesktopProgram::Finish() {
  if (finished_ || !mainForm_) return;
  finished_ = true;
  ui_.SetUnattended(true);
  if (configForm_) configForm_->hide();
  if (spyForm_) spyForm_->hide();
  if (userinfo_) userinfo_->hide();
  for (QDialog* d :
       std::initializer_list<QDialog*>{logForm_.get(), wMessageForm_.get(), statistikForm_.get(),
                                       networkForm_.get(), securityForm_.get()}) {
    if (d) d->hide();
  }
  if (useraccount_) useraccount_->hide();
  // The host's one end of a session, as in the program without windows; an end without asking
  // (End) gives the stop command first, answered Yes when clients are listed.
  if (ending_) mainForm_->SaveGeometry();
  mainForm_->Timer1().SetEnabled(false);
  if (userinfo_) userinfo_->Timer1().SetEnabled(false);
  host_.Finish(ending_);
}

}  // namespace orvane
