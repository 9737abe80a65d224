#include "ui/Tuserinfo.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <memory>

#include "ui/AskingWindow.h"
#include "ui/QtText.h"
#include "ui/TMainForm.h"

namespace orvane {

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kSequenceRole = Qt::UserRole + 1;

}  // namespace

Tuserinfo::Tuserinfo(FtpHost& host, TMainForm& main, StayOnTop& stayOnTop)
    : QWidget(nullptr, Qt::Window),
      host_(host),
      main_(main),
      stayOnTop_(stayOnTop),
      timer1_(host.Loop()) {
  setObjectName("userinfo");
  setWindowTitle("Users Infos");
  // Wide enough for every panel's usual text ("Max dl: No limite" the last).
  resize(760, 260);

  ListView1.setObjectName("ListView1");
  ListView1.setColumnCount(4);
  ListView1.setHeaderLabels({"User", "IP", "Action/Directory", "Connected since"});
  for (int c = 0; const int w : {100, 95, 250, 120}) ListView1.setColumnWidth(c++, w);
  ListView1.setRootIsDecorated(false);
  ListView1.setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1.setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView1.setSortingEnabled(true);
  ListView1.sortByColumn(0, Qt::AscendingOrder);
  ListView1.setDragEnabled(true);
  ListView1.setContextMenuPolicy(Qt::CustomContextMenu);
  popupKey_.Watch(ListView1);

  StatusBar1.setSizeGripEnabled(false);
  Panels.setObjectName("StatusBar1Panels");
  StatusBar1.addWidget(&Panels, 1);
  SetPanels(UserInfoPanels::Empty());
  Layout.setContentsMargins(0, 0, 0, 0);
  Layout.setSpacing(0);
  Layout.addWidget(&ListView1);
  LimitsLine.setObjectName("LimitsLine");
  LimitsLine.setContentsMargins(4, 2, 4, 2);
  LimitsLine.hide();
  Layout.addWidget(&LimitsLine);
  Layout.addWidget(&StatusBar1);
  setLayout(&Layout);

  Freezelist1.setCheckable(true);
  for (QAction* a : {&Kick1, &MassKick1, &Ban1, &Spyuser1}) PopupMenu1.addAction(a);
  PopupMenu1.addSeparator();
  PopupMenu1.addAction(&Freezelist1);
  PopupMenu1.addAction(&Refreshall1);
  connect(&PopupMenu1, &QMenu::aboutToShow, this, &Tuserinfo::UpdatePopupMenu);
  connect(&ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1.popup(ListView1.viewport()->mapToGlobal(at)); });
  connect(&ListView1, &QTreeWidget::itemSelectionChanged, this, &Tuserinfo::ListView1Click);
  connect(&Kick1, &QAction::triggered, this, &Tuserinfo::KickCommand);
  connect(&MassKick1, &QAction::triggered, this, &Tuserinfo::MassKickCommand);
  connect(&Ban1, &QAction::triggered, this, &Tuserinfo::BanCommand);
  connect(&Spyuser1, &QAction::triggered, this, &Tuserinfo::SpyCommand);
  connect(&Refreshall1, &QAction::triggered, this, &Tuserinfo::RefreshAll);
  connect(&Freezelist1, &QAction::toggled, this,
          [this](bool frozen) { timer1_.SetEnabled(!frozen && isVisible()); });

  timer1_.SetEnabled(false);
  timer1_.SetInterval(1000);
  timer1_.SetOnTimer([this](TThreadedTimer&) { Timer1Timer(); });
  SyncEntries();
}

Tuserinfo::~Tuserinfo() {
  timer1_.SetEnabled(false);
}

void Tuserinfo::FillEntry(QTreeWidgetItem& item, const Usrdata& record) {
  item.setText(0, Q(record.Account));
  item.setText(1, Q(record.IP));
  // An IPv6 address is wider than the column's 95 pixels: the column grows to show it whole.
  const int needed = ListView1.fontMetrics().horizontalAdvance(Q(record.IP)) + 12;
  if (needed > ListView1.columnWidth(1)) ListView1.setColumnWidth(1, needed);
  item.setText(2, Q(record.Status));
  item.setText(3, Q(record.LoginTime));
}

ClientRef Tuserinfo::RefOfItem(const QTreeWidgetItem& item) {
  return ClientRef{reinterpret_cast<const Usrdata*>(item.data(0, kRecordRole).value<quintptr>()),
                   item.data(0, kSequenceRole).value<quint64>()};
}

void Tuserinfo::SyncEntries() {
  ClientActions& actions = main_.Actions();
  const QSignalBlocker quiet(&ListView1);
  for (int i = ListView1.topLevelItemCount() - 1; i >= 0; --i) {
    if (actions.Resolve(RefOfItem(*ListView1.topLevelItem(i))) == nullptr) {
      std::unique_ptr<QTreeWidgetItem> gone(ListView1.takeTopLevelItem(i));
    }
  }
  for (const Usrdata* record : host_.Clients().Listed()) {
    if (record == nullptr || record->Account.empty()) continue;
    const std::optional<ClientRef> ref = actions.RefOf(record);
    if (!ref) continue;
    bool listed = false;
    for (int i = 0; i < ListView1.topLevelItemCount() && !listed; ++i) {
      const ClientRef shown = RefOfItem(*ListView1.topLevelItem(i));
      listed = shown.record == ref->record && shown.sequence == ref->sequence;
    }
    if (listed) continue;
    auto item = std::make_unique<QTreeWidgetItem>();
    FillEntry(*item, *record);
    item->setData(0, kRecordRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
    item->setData(0, kSequenceRole, QVariant::fromValue(static_cast<quint64>(ref->sequence)));
    ListView1.addTopLevelItem(item.release());  // the list owns its items
  }
  Panels.SetText(0, main_.StatusBar1.Text(0));
}

std::optional<ClientRef> Tuserinfo::SingleSelection() const {
  const QList<QTreeWidgetItem*> selected = ListView1.selectedItems();
  if (selected.size() != 1) return std::nullopt;
  const ClientRef ref = RefOfItem(*selected.front());
  if (main_.Actions().Resolve(ref) == nullptr) return std::nullopt;
  return ref;
}

void Tuserinfo::SetPanels(const UserInfoPanels::Texts& texts) {
  for (size_t i = 0; i < texts.size(); ++i) Panels.SetText(static_cast<int>(i + 1), Q(texts[i]));
}

void Tuserinfo::ListView1Click() {
  if (const std::optional<ClientRef> ref = SingleSelection()) {
    Usrdata* record = main_.Actions().Resolve(*ref);
    SetPanels(UserInfoPanels::Click(*record));
    ShowLimits(record);
  }
}

void Tuserinfo::ShowLimits(const Usrdata* record) {
  const std::string line =
      record != nullptr ? UserInfoPanels::LimitsLine(*record, host_.Limits()) : std::string();
  LimitsLine.setText(Q(line));
  LimitsLine.setVisible(!line.empty());
}

void Tuserinfo::Timer1Timer() {
  // The client count follows the main window's, which changes at connections too.
  Panels.SetText(0, main_.StatusBar1.Text(0));
  if (ListView1.selectedItems().size() != 1) {
    SetPanels(UserInfoPanels::Empty());
    ShowLimits(nullptr);
    return;
  }
  if (const std::optional<ClientRef> ref = SingleSelection()) {
    Usrdata* record = main_.Actions().Resolve(*ref);
    SetPanels(UserInfoPanels::Tick(*record));
    ShowLimits(record);
  }
}

void Tuserinfo::RefreshAll() {
  for (int i = 0; i < ListView1.topLevelItemCount(); ++i) {
    QTreeWidgetItem& item = *ListView1.topLevelItem(i);
    if (const Usrdata* record = main_.Actions().Resolve(RefOfItem(item))) FillEntry(item, *record);
  }
}

void Tuserinfo::UpdatePopupMenu() {
  const bool single = ListView1.selectedItems().size() == 1;
  Kick1.setEnabled(single);
  Ban1.setEnabled(single);
  Spyuser1.setEnabled(single);
  MassKick1.setEnabled(!host_.Clients().Empty());
}

void Tuserinfo::KickCommand() {
  const std::optional<ClientRef> ref = SingleSelection();
  if (!ref) return;
  const AskingWindow asking(this);
  const KickAnswer answer = main_.AskKick();
  if (ListView1.selectedItems().size() != 1) return;
  main_.Actions().Kick(*ref, answer);
  main_.RefreshLists();
}

void Tuserinfo::MassKickCommand() {
  const AskingWindow asking(this);
  main_.MassKickCommand();
}

void Tuserinfo::BanCommand() {
  // The screen line only: this window's ban writes nothing to the log file.
  if (const std::optional<ClientRef> ref = SingleSelection()) {
    main_.Actions().Ban(*ref, false);
    main_.RefreshLists();
  }
}

void Tuserinfo::SpyCommand() {
  const std::optional<ClientRef> ref = SingleSelection();
  if (ref && main_.OnSpy)
    main_.OnSpy(*ref, ListView1.selectedItems().front()->text(0).toStdString());
}

void Tuserinfo::showEvent(QShowEvent* event) {
  timer1_.SetEnabled(!Freezelist1.isChecked());
  host_.RestartSpeeds();
  SyncEntries();
  stayOnTop_.DialogShown();
  main_.ApplyTopmost();
  QWidget::showEvent(event);
}

void Tuserinfo::hideEvent(QHideEvent* event) {
  timer1_.SetEnabled(false);
  stayOnTop_.DialogHidden();
  main_.ApplyTopmost();
  QWidget::hideEvent(event);
}

void Tuserinfo::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace orvane
