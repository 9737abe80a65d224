#include "ui/TMainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "console/SelectedUser.h"
#include "console/WindowGeometry.h"
#include "platform/IniFile.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

namespace {

QSize PrimaryScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->size() : QSize(0, 0);
}

}  // namespace

TMainForm::TMainForm(FtpHost& host, StayOnTop& stayOnTop)
    : ServMemo(host.Memo(), host.LogSwitches()),
      host_(host),
      stayOnTop_(stayOnTop),
      actions_(host),
      timer1_(host.Loop()) {
  setObjectName("MainForm");
  setWindowTitle(FtpHost::kProductLine);
  notices_.Load(IniFile(host_.IniPath()));
  BuildMenus();
  BuildLayout();

  // Creation step: the geometry of this screen size, or 530 x 185 centred.
  const QSize screen = PrimaryScreenSize();
  const WindowGeometry g =
      WindowGeometry::Load(IniFile(host_.IniPath()), screen.width(), screen.height());
  resize(g.width, g.height);
  move(g.left, g.top);

  timer1_.SetEnabled(false);
  timer1_.SetInterval(1000);
  timer1_.SetOnTimer([this](TThreadedTimer&) { Timer1Timer(); });

  connect(&tray_, &TrayIcon::activationRequested, this, &TMainForm::Restore);
  RefreshLists();

  AskKick = [this] {
    const auto b = QMessageBox::question(
        BoxParent(), windowTitle(), "Do you want to ban him at the same time ?",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    return b == QMessageBox::Yes  ? KickAnswer::Yes
           : b == QMessageBox::No ? KickAnswer::No
                                  : KickAnswer::Cancel;
  };
  AskMassKick = [this] {
    return QMessageBox::question(
               BoxParent(), windowTitle(), "Are you sure you want to kick everybody connected ?",
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
  };
  AskIP = [this]() -> std::optional<std::string> {
    const std::unique_ptr<QInputDialog> dialog = MakeAddIPDialog();
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    return S(dialog->textValue());
  };
}

std::unique_ptr<QInputDialog> TMainForm::MakeAddIPDialog() {
  auto dialog = std::make_unique<QInputDialog>(BoxParent());
  dialog->setWindowTitle("Ajouter une IP dans la liste des bannis ...");
  dialog->setLabelText("IP");
  dialog->setTextValue(QString());
  // The title bar shows the whole caption: the window is wider than the caption's text, with
  // room for the title bar's buttons.
  const QFont title = QApplication::font("QMdiSubWindowTitleBar");
  dialog->setMinimumWidth(QFontMetrics(title).horizontalAdvance(dialog->windowTitle()) + 120);
  return dialog;
}

QWidget* TMainForm::BoxParent() {
  QWidget* asking = AskingWindow::Current();
  return asking != nullptr && asking->isVisible() ? asking : this;
}

TMainForm::~TMainForm() {
  // The ban list's viewport reports to this window: not while the members are destroyed.
  Banlist.viewport()->removeEventFilter(this);
  timer1_.SetEnabled(false);
}

void TMainForm::BuildMenus() {
  const std::pair<QAction*, const char*> names[] = {
      {&Activer1, "Activer1"},
      {&Closed1, "Closed1"},
      {&Toujoursvisible1, "Toujoursvisible1"},
      {&Statistiques1, "Statistiques1"},
      {&Usersinfos1, "Usersinfos1"},
      {&Quitter1, "Quitter1"},
      {&Clear1, "Clear1"},
      {&Configuration1, "Configuration1"},
      {&FreeFiles1, "FreeFiles1"},
      {&Log1, "Log1"},
      {&Messagedarrive1, "Messagedarrive1"},
      {&UsersAccount1, "UsersAccount1"},
      {&Network1, "Network1"},
      {&Security1, "Security1"},
      {&Apropos1, "Apropos1"},
      {&Kick1, "Kick1"},
      {&Masskick1, "Masskick1"},
      {&Ban1, "Ban1"},
      {&Usersinfos2, "Usersinfos2"},
      {&Spyuser1, "Spyuser1"},
      {&AddIP1, "AddIP1"},
      {&Unban1, "Unban1"},
      {&Clearbuffer1, "Clearbuffer1"},
      {&Copy1, "Copy1"},
      {&SelectAll1, "SelectAll1"},
  };
  for (const auto& [action, name] : names) action->setObjectName(name);
  Closed1.setCheckable(true);
  Toujoursvisible1.setCheckable(true);

  for (QAction* a : {&Activer1, &Closed1, &Toujoursvisible1, &Statistiques1, &Usersinfos1}) {
    Files.addAction(a);
  }
  Files.addSeparator();
  Files.addAction(&Quitter1);
  Edit.addAction(&Clear1);
  for (QAction* a : {&Configuration1, &FreeFiles1, &Log1, &Messagedarrive1, &UsersAccount1,
                     &Network1, &Security1}) {
    Setup.addAction(a);
  }
  Help.addAction(&Apropos1);
  for (QMenu* m : {&Files, &Edit, &Setup, &Help}) menuBar()->addMenu(m);
  for (QAction* a : {&Kick1, &Masskick1, &Ban1, &Usersinfos2, &Spyuser1}) PopupMenu1.addAction(a);
  PopupMenu2.addAction(&AddIP1);
  PopupMenu2.addAction(&Unban1);
  PopupMenu4.addAction(&Clearbuffer1);
  PopupMenu4.addSeparator();
  PopupMenu4.addAction(&Copy1);
  PopupMenu4.addAction(&SelectAll1);
  Copy1.setShortcut(QKeySequence::Copy);
  Copy1.setShortcutVisibleInContextMenu(true);
  SelectAll1.setShortcut(QKeySequence::SelectAll);
  SelectAll1.setShortcutVisibleInContextMenu(true);
  connect(&PopupMenu4, &QMenu::aboutToShow, this,
          [this] { Copy1.setEnabled(ServMemo.HasSelection()); });
  connect(&Copy1, &QAction::triggered, this, [this] { ServMemo.CopySelection(); });
  connect(&SelectAll1, &QAction::triggered, this, [this] { ServMemo.selectAll(); });
  connect(&PopupMenu1, &QMenu::aboutToShow, this, &TMainForm::UpdatePopupMenus);
  connect(&PopupMenu2, &QMenu::aboutToShow, this, &TMainForm::UpdatePopupMenus);
  connect(&Kick1, &QAction::triggered, this, &TMainForm::KickCommand);
  connect(&Masskick1, &QAction::triggered, this, &TMainForm::MassKickCommand);
  connect(&Ban1, &QAction::triggered, this, &TMainForm::BanCommand);
  connect(&Spyuser1, &QAction::triggered, this, &TMainForm::SpyCommand);
  connect(&AddIP1, &QAction::triggered, this, &TMainForm::AddIPCommand);
  connect(&Unban1, &QAction::triggered, this, &TMainForm::UnbanCommand);

  connect(&Activer1, &QAction::triggered, this, [this] { host_.StartStopCommand(); });
  connect(&Closed1, &QAction::triggered, this, [this] {
    host_.SetClosed(!host_.Closed());
    Closed1.setChecked(host_.Closed());
  });
  connect(&Toujoursvisible1, &QAction::triggered, this, &TMainForm::StayOnTopCommand);
  connect(&Statistiques1, &QAction::triggered, this, &TMainForm::statisticsRequested);
  connect(&Usersinfos1, &QAction::triggered, this, &TMainForm::usersInfosRequested);
  connect(&Usersinfos2, &QAction::triggered, this, &TMainForm::usersInfosRequested);
  connect(&Quitter1, &QAction::triggered, this, &QWidget::close);
  connect(&Clear1, &QAction::triggered, this, [this] { host_.ClearMemo(); });
  connect(&Clearbuffer1, &QAction::triggered, this, [this] { host_.ClearMemo(); });
  connect(&Configuration1, &QAction::triggered, this, &TMainForm::setupRequested);
  connect(&FreeFiles1, &QAction::triggered, this, &TMainForm::freeFilesRequested);
  connect(&Log1, &QAction::triggered, this, &TMainForm::logSetupRequested);
  connect(&Messagedarrive1, &QAction::triggered, this, &TMainForm::eventsRequested);
  connect(&UsersAccount1, &QAction::triggered, this, &TMainForm::usersAccountRequested);
  connect(&Network1, &QAction::triggered, this, &TMainForm::networkRequested);
  connect(&Security1, &QAction::triggered, this, &TMainForm::securityRequested);
  connect(&Apropos1, &QAction::triggered, this, &TMainForm::aboutRequested);

  // The tray menu's items do what their twins of the Files menu do.
  connect(&tray_.Activer2, &QAction::triggered, &Activer1, &QAction::trigger);
  connect(&tray_.Configuration3, &QAction::triggered, &Configuration1, &QAction::trigger);
  connect(&tray_.Statistiques2, &QAction::triggered, &Statistiques1, &QAction::trigger);
  connect(&tray_.ToujoursVisible2, &QAction::triggered, this, &TMainForm::StayOnTopCommand);
  connect(&tray_.Quitter2, &QAction::triggered, &Quitter1, &QAction::trigger);
}

void TMainForm::BuildLayout() {
  ListView1.setObjectName("ListView1");
  ListView1.setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1.setDragEnabled(true);
  ListView1.setContextMenuPolicy(Qt::CustomContextMenu);
  Banlist.setObjectName("Banlist");
  Banlist.setToolTip("Ban lists");
  Banlist.setSortingEnabled(true);
  Banlist.setContextMenuPolicy(Qt::CustomContextMenu);
  Banlist.setAcceptDrops(true);
  Banlist.viewport()->setAcceptDrops(true);
  Banlist.viewport()->installEventFilter(this);
  ServMemo.setContextMenuPolicy(Qt::CustomContextMenu);

  // Each list under its caption (Alt+letter takes the focus there), never narrower than its
  // caption or kListMinWidth, and neither list nor the memo folds away in the splitters.
  constexpr int kListMinWidth = 120;
  const auto captioned = [&](QWidget& pane, QVBoxLayout& layout, QLabel& caption,
                             QListWidget& list) {
    caption.setBuddy(&list);
    layout.setContentsMargins(0, 0, 0, 0);
    layout.setSpacing(2);
    layout.addWidget(&caption);
    layout.addWidget(&list, 1);
    // Short lists, so that the window's first size (185 high) still holds both.
    list.setMinimumHeight(list.fontMetrics().height() + 2 * list.frameWidth() + 4);
    pane.setLayout(&layout);
    pane.setMinimumWidth(std::max(kListMinWidth, caption.sizeHint().width()));
    ListSplitter.addWidget(&pane);
  };
  captioned(ClientsPane, ClientsLayout, ClientsCaption, ListView1);
  captioned(BanPane, BanLayout, BanCaption, Banlist);
  ClientsCaption.setObjectName("ClientsCaption");
  BanCaption.setObjectName("BanCaption");
  ListSplitter.setChildrenCollapsible(false);
  MainSplitter.addWidget(&ServMemo);
  MainSplitter.addWidget(&ListSplitter);
  MainSplitter.setChildrenCollapsible(false);
  ServMemo.setMinimumWidth(kListMinWidth);
  MainSplitter.setStretchFactor(0, 3);
  MainSplitter.setStretchFactor(1, 1);
  MainSplitter.setSizes({380, 150});
  ListSplitter.setSizes({70, 30});
  setCentralWidget(&MainSplitter);

  StatusBar1.setObjectName("StatusBar1");
  statusBar()->setSizeGripEnabled(false);
  statusBar()->addWidget(&StatusBar1, 1);
  StatusBar1.SetText(0, "No client");
  StatusBar1.SetText(1, "FTP Server Off-line");
  StatusBar1.SetText(2, "0 bytes/s");

  connect(&ListView1, &QListWidget::itemSelectionChanged, this, &TMainForm::ListView1Click);
  connect(&ListView1, &QListWidget::itemDoubleClicked, this, &TMainForm::usersInfosRequested);
  connect(&ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1.popup(ListView1.viewport()->mapToGlobal(at)); });
  connect(&Banlist, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2.popup(Banlist.viewport()->mapToGlobal(at)); });
  connect(&ServMemo, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu4.popup(ServMemo.viewport()->mapToGlobal(at)); });
  for (QAbstractScrollArea* area :
       std::initializer_list<QAbstractScrollArea*>{&ListView1, &Banlist, &ServMemo}) {
    popupKey_.Watch(*area);
  }
}

std::optional<ClientRef> TMainForm::SingleSelection() const {
  const std::vector<const Usrdata*> selected = SelectedRecords();
  if (selected.size() != 1) return std::nullopt;
  return actions_.RefOf(selected.front());
}

void TMainForm::UpdatePopupMenus() {
  const bool single = ListView1.selectedItems().size() == 1;
  Kick1.setEnabled(single);
  Ban1.setEnabled(single);
  Spyuser1.setEnabled(single);
  Masskick1.setEnabled(!host_.Clients().Empty());
  Usersinfos2.setEnabled(true);
  AddIP1.setEnabled(true);
  Unban1.setEnabled(Banlist.currentItem() != nullptr && Banlist.currentItem()->isSelected());
}

void TMainForm::KickCommand() {
  const std::optional<ClientRef> ref = SingleSelection();
  if (!ref) return;
  const KickAnswer answer = AskKick();
  // The question may have been open for a while: the selection must still be a single entry,
  // and the reference finds the very client asked about (or nothing, if it left).
  if (ListView1.selectedItems().size() != 1) return;
  actions_.Kick(*ref, answer);
  RefreshLists();
}

void TMainForm::MassKickCommand() {
  actions_.MassKick(AskMassKick());
}

void TMainForm::BanCommand() {
  if (const std::optional<ClientRef> ref = SingleSelection()) {
    actions_.Ban(*ref, true);
    RefreshLists();
  }
}

void TMainForm::SpyCommand() {
  const std::optional<ClientRef> ref = SingleSelection();
  if (!ref || !OnSpy) return;
  OnSpy(*ref, ListView1.selectedItems().front()->text().toStdString());
}

void TMainForm::AddIPCommand() {
  if (const std::optional<std::string> text = AskIP()) {
    actions_.AddByHand(*text);
    RefreshLists();
  }
}

void TMainForm::UnbanCommand() {
  const QListWidgetItem* item = Banlist.currentItem();
  if (item == nullptr || !item->isSelected()) return;
  // By text: the list box's order need not be the model's, and every text is listed once.
  const std::vector<std::string>& items = host_.Bans().Items();
  const auto at = std::find(items.begin(), items.end(), item->text().toStdString());
  if (at == items.end()) return;
  actions_.Unban(static_cast<int>(at - items.begin()));
  RefreshLists();
}

void TMainForm::BanlistDrop(QObject* source) {
  std::optional<ClientRef> ref;
  if (source == &ListView1) {
    ref = SingleSelection();
  } else if (source != nullptr && DropSelection) {
    ref = DropSelection(source);
  }
  if (!ref) return;
  actions_.Ban(*ref, true);
  RefreshLists();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Banlist.viewport()) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      QObject* source = drag->source();
      const bool fromClients =
          source == &ListView1 || (source != nullptr && DropSelection && DropSelection(source));
      if (fromClients) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      // The ban runs after the drag has ended, outside the drag's own event handling.
      QPointer<QObject> source = drop->source();
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      QTimer::singleShot(0, this, [this, source] {
        if (source) BanlistDrop(source.data());
      });
      return true;
    }
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

void TMainForm::SetActivateCaption(const QString& caption) {
  Activer1.setText(caption);
  tray_.Activer2.setText(caption);
}

void TMainForm::SetPanel(int panel, const QString& text) {
  StatusBar1.SetText(panel, text);
  if (panel == 1) Notify(notices_.NoteServerState(S(text)));
}

void TMainForm::Notify(const std::optional<TrayNotices::Notice>& notice) {
  if (notice) tray_.Notify(Q(notice->title), Q(notice->text));
}

void TMainForm::SetTray(int image, const QString& hint) {
  Notify(notices_.NoteImage(image));
  tray_.SetImage(image);
  tray_.SetHint(hint);
  tray_.Show();
  // The icon changes at every login and disconnection: the moments the lists may have changed
  // without a report (a stop empties the host's list; an address may have been banned).
  RefreshLists();
}

void TMainForm::RefreshLists() {
  if (clients_.Sync(host_.Clients().Listed())) {
    std::vector<const Usrdata*> selected = SelectedRecords();
    const QSignalBlocker quiet(&ListView1);
    ListView1.clear();
    for (const ClientList::Row& row : clients_.Rows()) {
      // A TLS session is marked after its account name.
      ListView1.addItem(Q(row.secure ? row.caption + " [TLS]" : row.caption));
      if (row.secure) ListView1.item(ListView1.count() - 1)->setToolTip("TLS");
      if (std::find(selected.begin(), selected.end(), row.data) != selected.end()) {
        ListView1.item(ListView1.count() - 1)->setSelected(true);
      }
    }
    emit clientsChanged();
  }
  if (host_.Bans().Items() != banShown_) {
    banShown_ = host_.Bans().Items();
    Banlist.clear();
    for (const std::string& entry : banShown_) Banlist.addItem(Q(entry));
    Notify(notices_.NoteBanList(banShown_));
  }
}

std::vector<const Usrdata*> TMainForm::SelectedRecords() const {
  std::vector<const Usrdata*> records;
  for (int i = 0; i < ListView1.count(); ++i) {
    if (!ListView1.item(i)->isSelected()) continue;
    // Only a record the host still lists: a row can briefly outlive a stop of the server.
    const Usrdata* record = clients_.RecordAt(i);
    records.push_back(host_.Clients().IsListed(record) ? record : nullptr);
  }
  return records;
}

void TMainForm::SetSelectedPanels(const std::string& user, const std::string& ip,
                                  const std::string& status) {
  StatusBar1.SetText(3, Q(user));
  StatusBar1.SetText(4, Q(ip));
  StatusBar1.SetText(5, Q(status));
}

void TMainForm::ListView1Click() {
  const std::optional<SelectedUser::Panels> panels = SelectedUser::Click(SelectedRecords());
  if (panels) SetSelectedPanels(panels->userName, panels->ip, panels->status);
  timer1_.SetEnabled(panels.has_value());
}

void TMainForm::Timer1Timer() {
  const std::optional<SelectedUser::Panels> panels = SelectedUser::Tick(
      SelectedRecords(), static_cast<size_t>(ListView1.count()), host_.Clients().Count());
  if (panels) SetSelectedPanels(panels->userName, panels->ip, panels->status);
}

void TMainForm::StayOnTopCommand() {
  IniFile ini(host_.IniPath());
  stayOnTop_.Toggle(ini);
  Toujoursvisible1.setChecked(stayOnTop_.Checked());
  tray_.ToujoursVisible2.setChecked(stayOnTop_.Checked());
  ApplyTopmost();
}

void TMainForm::ApplyTopmost() {
  const bool want = stayOnTop_.WantTopmost();
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == want) return;
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, want);
  if (QWindow* window = windowHandle()) {
    // A window that exists changes its band in place: not hidden, moved, sized or activated.
    overrideWindowFlags(flags);
    window->setFlags(flags);
  } else {
    setWindowFlags(flags);
  }
}

void TMainForm::Restore() {
  if (isVisible() && !isMinimized()) return;
  showNormal();
  raise();
  activateWindow();
}

void TMainForm::SaveGeometry() {
  const QSize screen = PrimaryScreenSize();
  IniFile ini(host_.IniPath());
  WindowGeometry g;
  g.left = x();
  g.top = y();
  g.width = width();
  g.height = height();
  g.Save(ini, screen.width(), screen.height());
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A server with clients asks its stop question first; "No" keeps the program running.
  if (!closeGranted_ && !host_.RequestClose()) {
    event->ignore();
    return;
  }
  closeGranted_ = true;
  SaveGeometry();
  timer1_.SetEnabled(false);
  tray_.Hide();
  event->accept();
  emit closed();
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && MinimizesToTray()) {
    // Hidden after the state change is complete: only the tray icon is left.
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
  } else if (event->type() == QEvent::ActivationChange && stayOnTop_.WantTopmost()) {
    raise();
  }
}

}  // namespace orvane
