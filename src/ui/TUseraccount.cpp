#include "ui/TUseraccount.h"

#include <QFileDialog>

#include "console/AccountEditor.h"
#include "platform/FileSystem.h"
#include "ui/AskingWindow.h"
#include "ui/QtText.h"

namespace orvane {

namespace {

// Where the file dialogs start: the first drive's directory.
QString DriveDirectory() {
  const std::map<char, std::string> drives = FileSystem::DriveMap();
  return QString::fromUtf8(drives.empty() ? "/" : drives.begin()->second.c_str());
}

}  // namespace

TUseraccount::TUseraccount(AccountStore& store, HostUi& ui, StayOnTop& stayOnTop, QWidget* parent)
    : QDialog(parent),
      NewUser(this),
      EditUserName(this),
      NewDir(this),
      Misc(this),
      editor_(store),
      ui_(ui),
      stayOnTop_(stayOnTop) {
  Build();
  Connect();
  ShowNames();
  Fill();
}

void TUseraccount::Build() {
  setObjectName("Useraccount");
  setWindowTitle("Setup users");
  ListBox1.setObjectName("ListBox1");
  ListBox1.setContextMenuPolicy(Qt::CustomContextMenu);
  UsersLayout.addWidget(&ListBox1);
  UsersGroup.setLayout(&UsersLayout);
  Layout.addWidget(&UsersGroup, 1);
  AddUser = UserMenu.addAction("&Add");
  EditUser = UserMenu.addAction("&Edit");
  DeleteUser = UserMenu.addAction("&Delete");

  ListView1.setObjectName("ListView1");
  ListView1.setColumnCount(2);
  ListView1.setHeaderLabels({"Directories", "Attributs"});
  ListView1.setRootIsDecorated(false);
  ListView1.setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1.setContextMenuPolicy(Qt::CustomContextMenu);
  ListView1.setColumnWidth(0, 220);
  AddDir = DirMenu.addAction("&Add");
  InsertDir = DirMenu.addAction("&Insert");
  DeleteDir = DirMenu.addAction("&Delete");
  HomeDir = DirMenu.addAction("Set as Home dir");
  DirectoryLayout.addWidget(&ListView1);
  for (QCheckBox* box : {&CheckBox1, &CheckBox2, &CheckBox3}) FilesLayout.addWidget(box);
  FilesGroup.setLayout(&FilesLayout);
  for (QCheckBox* box : {&CheckBox5, &CheckBox6, &CheckBox4}) DirsLayout.addWidget(box);
  DirsGroup.setLayout(&DirsLayout);
  LetterGroups.addWidget(&FilesGroup);
  LetterGroups.addWidget(&DirsGroup);
  DirectoryLayout.addLayout(&LetterGroups);
  DirectoryGroup.setLayout(&DirectoryLayout);
  Middle.addWidget(&DirectoryGroup, 1);

  SetupLayout.addWidget(&AllowLogin, 0, 0);
  SetupLayout.addWidget(&Login, 0, 1, 1, 3);
  SetupLayout.addWidget(&AllowPass, 1, 0);
  SetupLayout.addWidget(&Pass, 1, 1, 1, 2);
  SetupLayout.addWidget(&ShowPass, 1, 3);
  Pass.setEchoMode(QLineEdit::Password);
  ShowPass.setCheckable(true);
  SetupLayout.addWidget(&AllowMaxdl, 2, 0);
  SetupLayout.addWidget(&Maxdl, 2, 1, 1, 2);
  SetupLayout.addWidget(&BytesLabel, 2, 3);
  SetupLayout.addWidget(&Ratio, 3, 0);
  RatioRow.addWidget(&UploadLabel);
  RatioRow.addWidget(&xupl);
  RatioRow.addWidget(&SlashLabel);
  RatioRow.addWidget(&xdl);
  RatioRow.addWidget(&DownloadLabel);
  SetupLayout.addLayout(&RatioRow, 3, 1, 1, 3);
  SetupLayout.addWidget(&LinksLabel, 4, 0);
  SetupLayout.addWidget(&Edit2, 4, 1, 1, 2);
  SetupLayout.addWidget(&LinksBrowse, 4, 3);
  SetupGroup.setLayout(&SetupLayout);
  Middle.addWidget(&SetupGroup);
  Layout.addLayout(&Middle, 2);

  for (QPushButton* b : {&MiscButton, &SaveButton, &ReloadButton, &RestoreButton, &OkButton}) {
    b->setAutoDefault(false);
    ButtonColumn.addWidget(b);
  }
  ButtonColumn.addStretch(1);
  Layout.addLayout(&ButtonColumn);
  Content.setLayout(&Layout);
  Scroll.setWidget(&Content);
  Scroll.setWidgetResizable(true);
  Scroll.setFrameShape(QFrame::NoFrame);
  Outer.setContentsMargins(0, 0, 0, 0);
  Outer.addWidget(&Scroll);
  setLayout(&Outer);
  resize(760, 460);
}

void TUseraccount::Connect() {
  connect(&ListBox1, &QListWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    EditUser->setEnabled(editor_.Selected().has_value());
    DeleteUser->setEnabled(editor_.Selected().has_value());
    UserMenu.popup(ListBox1.viewport()->mapToGlobal(at));
  });
  connect(&ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
    if (filling_) return;
    const QList<QListWidgetItem*> items = ListBox1.selectedItems();
    if (items.isEmpty()) return;
    editor_.Select(S(items.front()->text()));
    Fill();
  });
  connect(AddUser, &QAction::triggered, this, [this] { NewUser.Open(QString()); });
  connect(EditUser, &QAction::triggered, this, [this] {
    if (editor_.Selected()) EditUserName.Open(Q(*editor_.Selected()));
  });
  connect(DeleteUser, &QAction::triggered, this, &TUseraccount::DeleteAccount);
  NewUser.OnMessage = [this](const std::string& text) {
    const AskingWindow asking(&NewUser);
    ui_.MessageBox(text);
  };
  NewUser.OnOk = [this](const std::string& name) {
    Collect();
    std::string message;
    if (!editor_.AddAccount(name, message)) return message;
    ShowNames();
    EnableControls();
    return std::string();
  };
  EditUserName.OnMessage = [this](const std::string& text) {
    const AskingWindow asking(&EditUserName);
    ui_.MessageBox(text);
  };
  EditUserName.OnOk = [this](const std::string& name) {
    Collect();
    std::string message;
    if (!editor_.RenameSelected(name, message)) return message;
    ShowNames();
    EnableControls();
    return std::string();
  };

  connect(&ListView1, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const bool one = SingleDirectory() >= 0;
    InsertDir->setEnabled(one);
    DeleteDir->setEnabled(one);
    HomeDir->setEnabled(one && ListView1.topLevelItemCount() >= 2);
    DirMenu.popup(ListView1.viewport()->mapToGlobal(at));
  });
  connect(&ListView1, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!filling_) ShowLetters();
  });
  connect(AddDir, &QAction::triggered, this, [this] { OpenNewDir(false); });
  connect(InsertDir, &QAction::triggered, this, [this] { OpenNewDir(true); });
  connect(DeleteDir, &QAction::triggered, this, &TUseraccount::DeleteDirectory);
  connect(HomeDir, &QAction::triggered, this, &TUseraccount::SetHomeDirectory);
  NewDir.OnAdd = [this](const std::string& dir, const std::string& letters) {
    Collect();
    const int one = SingleDirectory();
    const size_t position = insertDir_ && one >= 0 ? static_cast<size_t>(one) : SIZE_MAX;
    std::string message;
    if (!editor_.AddDirectory(dir, letters, position, message)) {
      const AskingWindow asking(&NewDir);
      ui_.MessageBox(message);
      return message;
    }
    FillDirectories(-1);
    EnableControls();
    return std::string();
  };
  for (size_t i = 0; i < 6; ++i) {
    connect(LetterBox(i), &QCheckBox::toggled, this, [this] {
      if (!filling_) LettersChanged();
    });
  }

  for (QCheckBox* box : {&AllowLogin, &AllowPass, &AllowMaxdl, &Ratio}) {
    connect(box, &QCheckBox::toggled, this, [this] { Edited(); });
  }
  for (QLineEdit* field : {&Login, &Pass, &Maxdl, &xupl, &xdl, &Edit2}) {
    connect(field, &QLineEdit::textEdited, this, [this] { Edited(); });
  }
  connect(&ShowPass, &QPushButton::toggled, this, [this](bool shown) {
    Pass.setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
  });
  connect(&LinksBrowse, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getOpenFileName(this, "Choose links file ...",
                                                      DriveDirectory(), "Texts Files (*.txt)");
    // The server reads the file by its own path; a file outside the drives is not taken.
    const std::optional<std::string> path =
        AccountEditor::ServerPath(file.toUtf8().toStdString(), FileSystem::DriveMap());
    if (!file.isEmpty() && path) {
      Edit2.setText(QString::fromUtf8(path->c_str()));
      Edited();
    }
  });
  connect(&Misc.AllowTimeout, &QCheckBox::toggled, this, [this] { EnableControls(); });
  Misc.OnChanged = [this] {
    editor_.EnableSave();
    EnableControls();
  };
  connect(&MiscButton, &QPushButton::clicked, this, [this] {
    Misc.show();
    Misc.raise();
  });
  connect(&SaveButton, &QPushButton::clicked, this, &TUseraccount::Save);
  connect(&ReloadButton, &QPushButton::clicked, this, &TUseraccount::Reload);
  connect(&RestoreButton, &QPushButton::clicked, this, &TUseraccount::Restore);
  connect(&OkButton, &QPushButton::clicked, this, &TUseraccount::Ok);
}

QCheckBox* TUseraccount::LetterBox(size_t index) {
  // The order of the letter string: R, W, D, M, L, S.
  QCheckBox* boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox5, &CheckBox6, &CheckBox4};
  return boxes[index];
}

int TUseraccount::SingleDirectory() const {
  const QList<QTreeWidgetItem*> items = ListView1.selectedItems();
  if (items.size() != 1) return -1;
  return ListView1.indexOfTopLevelItem(items.front());
}

void TUseraccount::SelectAccount(const QString& name) {
  const QList<QListWidgetItem*> found = ListBox1.findItems(name, Qt::MatchExactly);
  if (!found.isEmpty()) ListBox1.setCurrentItem(found.front());
}

void TUseraccount::ShowNames() {
  filling_ = true;
  ListBox1.clear();
  for (const std::string& name : editor_.Names()) {
    ListBox1.addItem(Q(name));
    if (editor_.Selected() && *editor_.Selected() == name) {
      ListBox1.setCurrentRow(ListBox1.count() - 1);
    }
  }
  filling_ = false;
}

void TUseraccount::Fill() {
  filling_ = true;
  const AccountFields& f = editor_.Fields();
  AllowLogin.setChecked(f.EnableLogin);
  Login.setText(Q(f.Login));
  AllowPass.setChecked(f.EnablePass);
  Pass.setText(Q(f.Pass));
  Pass.setPlaceholderText(f.HasPassHash ? "(kept as a hash: type a new one to change it)" : "");
  ShowPass.setChecked(false);
  AllowMaxdl.setChecked(f.EnableMaxdl);
  Maxdl.setText(Q(f.Maxdl));
  Ratio.setChecked(f.EnableRatio);
  xupl.setText(Q(f.Xupl));
  xdl.setText(Q(f.Xdl));
  Edit2.setText(Q(f.Links));
  Misc.hidefiles.setChecked(f.HideHidden);
  Misc.Accenable.setChecked(f.Enabled);
  Misc.enablenoop.setChecked(f.AllowNoop);
  Misc.requiretls.setChecked(f.RequireTLS);
  Misc.AllowTimeout.setChecked(f.AllowTimeout);
  Misc.timeout.setText(Q(f.Timeout));
  Misc.Edit1.setText(Q(f.Message));
  Misc.downloadrate.setText(Q(f.DownloadRate));
  Misc.uploadrate.setText(Q(f.UploadRate));
  Misc.maxsessions.setText(Q(f.MaxSessions));
  Misc.quotabytes.setText(Q(f.QuotaBytes));
  Misc.quotafiles.setText(Q(f.QuotaFiles));
  filling_ = false;
  FillDirectories(-1);
  EnableControls();
}

void TUseraccount::FillDirectories(int selectRow) {
  filling_ = true;
  ListView1.clear();
  for (const TDir& entry : editor_.Fields().Dirs) {
    ListView1.addTopLevelItem(
        std::make_unique<QTreeWidgetItem>(QStringList{Q(entry.Dir), Q(entry.Attr)}).release());
  }
  if (selectRow >= 0 && selectRow < ListView1.topLevelItemCount()) {
    ListView1.topLevelItem(selectRow)->setSelected(true);
    ListView1.setCurrentItem(ListView1.topLevelItem(selectRow));
  }
  filling_ = false;
  ShowLetters();
}

void TUseraccount::ShowLetters() {
  filling_ = true;
  const int one = SingleDirectory();
  const std::array<bool, 6> on =
      one >= 0 ? editor_.LettersOf(static_cast<size_t>(one)) : std::array<bool, 6>{};
  for (size_t i = 0; i < 6; ++i) LetterBox(i)->setChecked(on[i]);
  filling_ = false;
}

void TUseraccount::LettersChanged() {
  const int one = SingleDirectory();
  if (one < 0) return;
  std::array<bool, 6> on{};
  for (size_t i = 0; i < 6; ++i) on[i] = LetterBox(i)->isChecked();
  editor_.SetLetters(static_cast<size_t>(one), on);
  ListView1.topLevelItem(one)->setText(1, Q(editor_.Fields().Dirs[static_cast<size_t>(one)].Attr));
  EnableControls();
}

void TUseraccount::Collect() {
  AccountFields& f = editor_.Fields();
  f.EnableLogin = AllowLogin.isChecked();
  f.Login = S(Login.text());
  f.EnablePass = AllowPass.isChecked();
  f.Pass = S(Pass.text());
  f.EnableMaxdl = AllowMaxdl.isChecked();
  f.Maxdl = S(Maxdl.text());
  f.EnableRatio = Ratio.isChecked();
  f.Xupl = S(xupl.text());
  f.Xdl = S(xdl.text());
  f.Links = S(Edit2.text());
  f.HideHidden = Misc.hidefiles.isChecked();
  f.Enabled = Misc.Accenable.isChecked();
  f.AllowNoop = Misc.enablenoop.isChecked();
  f.RequireTLS = Misc.requiretls.isChecked();
  f.AllowTimeout = Misc.AllowTimeout.isChecked();
  f.Timeout = S(Misc.timeout.text());
  f.Message = S(Misc.Edit1.text());
  f.DownloadRate = S(Misc.downloadrate.text());
  f.UploadRate = S(Misc.uploadrate.text());
  f.MaxSessions = S(Misc.maxsessions.text());
  f.QuotaBytes = S(Misc.quotabytes.text());
  f.QuotaFiles = S(Misc.quotafiles.text());
}

void TUseraccount::Edited() {
  if (filling_) return;
  editor_.EnableSave();
  EnableControls();
}

void TUseraccount::EnableControls() {
  const bool on = editor_.Selected().has_value();
  for (QWidget* w : std::initializer_list<QWidget*>{
           &ListView1, &CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6,
           &AllowLogin, &AllowPass, &AllowMaxdl, &Ratio, &Edit2, &LinksBrowse, &RestoreButton}) {
    w->setEnabled(on);
  }
  Login.setEnabled(on && AllowLogin.isChecked());
  Pass.setEnabled(on && AllowPass.isChecked());
  ShowPass.setEnabled(Pass.isEnabled());
  Maxdl.setEnabled(on && AllowMaxdl.isChecked());
  xupl.setEnabled(on && Ratio.isChecked());
  xdl.setEnabled(on && Ratio.isChecked());
  Misc.SetControlsEnabled(on);
  if (on) Misc.timeout.setEnabled(Misc.AllowTimeout.isChecked());
  SaveButton.setEnabled(editor_.SaveEnabled());
}

void TUseraccount::Save() {
  Collect();
  std::string error;
  const bool stored = editor_.Save(error);
  filling_ = true;
  xupl.setText(Q(editor_.Fields().Xupl));
  xdl.setText(Q(editor_.Fields().Xdl));
  filling_ = false;
  const AskingWindow asking(this);
  if (!stored) ui_.MessageBox(error);
  EnableControls();
}

void TUseraccount::Ok() {
  Collect();
  std::string error;
  const bool written = editor_.Ok(error);
  filling_ = true;
  xupl.setText(Q(editor_.Fields().Xupl));
  xdl.setText(Q(editor_.Fields().Xdl));
  filling_ = false;
  EnableControls();
  if (!written) {
    const AskingWindow asking(this);
    ui_.MessageBox(error);
    return;
  }
  hide();
}

void TUseraccount::Reload() {
  editor_.Reload();
  ShowNames();
  Fill();
}

void TUseraccount::Restore() {
  editor_.Restore();
  Fill();
}

void TUseraccount::DeleteAccount() {
  editor_.DeleteSelected();
  ShowNames();
  Fill();
}

void TUseraccount::OpenNewDir(bool insert) {
  insertDir_ = insert;
  NewDir.Open();
}

void TUseraccount::DeleteDirectory() {
  const int one = SingleDirectory();
  if (one < 0) return;
  Collect();
  editor_.DeleteDirectory(static_cast<size_t>(one));
  FillDirectories(-1);
  EnableControls();
}

void TUseraccount::SetHomeDirectory() {
  const int one = SingleDirectory();
  if (one < 0 || ListView1.topLevelItemCount() < 2) return;
  Collect();
  editor_.SetHome(static_cast<size_t>(one));
  FillDirectories(0);
  EnableControls();
}

void TUseraccount::showEvent(QShowEvent* event) {
  stayOnTop_.DialogShown();
  if (OnShownOrHidden) OnShownOrHidden();
  QDialog::showEvent(event);
}

void TUseraccount::hideEvent(QHideEvent* event) {
  for (QDialog* window : std::initializer_list<QDialog*>{&NewUser, &EditUserName, &NewDir, &Misc}) {
    window->hide();
  }
  stayOnTop_.DialogHidden();
  if (OnShownOrHidden) OnShownOrHidden();
  QDialog::hideEvent(event);
}

}  // namespace orvane
