#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>

#include "console/AccountEditor.h"
#include "console/StayOnTop.h"
#include "host/HostUi.h"
#include "ui/TEditUserName.h"
#include "ui/TMisc.h"
#include "ui/TNewDir.h"
#include "ui/TNewUser.h"

namespace orvane {

// "Setup users": the account editor over the store's EditorList (the rules live in
// AccountEditor; this window shows its fields and hands it the operator's actions). "&Ok"
// writes the account file and makes the edited accounts the server's. The four auxiliary
// windows belong to it and are hidden with it; while it is shown the main window is not topmost.
class TUseraccount : public QDialog {
  Q_OBJECT

 public:
  TUseraccount(AccountStore& store, HostUi& ui, StayOnTop& stayOnTop, QWidget* parent = nullptr);

  std::function<void()> OnShownOrHidden;

  AccountEditor& Editor() { return editor_; }
  // The line of the directory list that alone is selected, or -1.
  int SingleDirectory() const;
  // Picks the account line with that text, as a click would.
  void SelectAccount(const QString& name);

  // The whole window scrolls where the screen is too short for it.
  QVBoxLayout Outer;
  QScrollArea Scroll;
  QWidget Content;
  QHBoxLayout Layout;
  QGroupBox UsersGroup{"Users"};
  QVBoxLayout UsersLayout;
  QListWidget ListBox1;
  QMenu UserMenu;
  QAction* AddUser = nullptr;
  QAction* EditUser = nullptr;
  QAction* DeleteUser = nullptr;

  QVBoxLayout Middle;
  QGroupBox DirectoryGroup{"Directory"};
  QVBoxLayout DirectoryLayout;
  QTreeWidget ListView1;
  QMenu DirMenu;
  QAction* AddDir = nullptr;
  QAction* InsertDir = nullptr;
  QAction* DeleteDir = nullptr;
  QAction* HomeDir = nullptr;
  QHBoxLayout LetterGroups;
  QGroupBox FilesGroup{"Files"};
  QVBoxLayout FilesLayout;
  QCheckBox CheckBox1{"Read"};
  QCheckBox CheckBox2{"Write"};
  QCheckBox CheckBox3{"Delete"};
  QGroupBox DirsGroup{"Directories"};
  QVBoxLayout DirsLayout;
  QCheckBox CheckBox5{"Make"};
  QCheckBox CheckBox6{"List"};
  QCheckBox CheckBox4{"+Subdirs"};

  QGroupBox SetupGroup{"Setup"};
  QGridLayout SetupLayout;
  QCheckBox AllowLogin{"Login"};
  QLineEdit Login;
  QCheckBox AllowPass{"Password"};
  QLineEdit Pass;  // masked; ShowPass shows it while checked
  QPushButton ShowPass{"Show"};
  QCheckBox AllowMaxdl{"Max download"};
  QLineEdit Maxdl;
  QLabel BytesLabel{"bytes"};
  QCheckBox Ratio{"Enable Ratio"};
  QHBoxLayout RatioRow;
  QLabel UploadLabel{"Upload"};
  QLineEdit xupl;
  QLabel SlashLabel{"/"};
  QLineEdit xdl;
  QLabel DownloadLabel{"download"};
  QLabel LinksLabel{"Links file :"};
  QLineEdit Edit2;
  QPushButton LinksBrowse{"..."};

  QVBoxLayout ButtonColumn;
  QPushButton MiscButton{"Misc"};
  QPushButton SaveButton{"&Save"};
  QPushButton ReloadButton{"&Reload"};
  QPushButton RestoreButton{"R&estore"};
  QPushButton OkButton{"&Ok"};

  TNewUser NewUser;
  TEditUserName EditUserName;
  TNewDir NewDir;
  TMisc Misc;

  // The buttons' and menus' actions, as the operator triggers them.
  void Save();
  void Ok();
  void Reload();
  void Restore();
  void DeleteAccount();
  void OpenNewDir(bool insert);
  void DeleteDirectory();
  void SetHomeDirectory();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Build();
  void Connect();
  void ShowNames();
  void Fill();
  void FillDirectories(int selectRow);
  void Collect();
  void EnableControls();
  void LettersChanged();
  void ShowLetters();
  void Edited();
  QCheckBox* LetterBox(size_t index);

  AccountEditor editor_;
  HostUi& ui_;
  StayOnTop& stayOnTop_;
  bool filling_ = false;
  bool insertDir_ = false;
};

}  // namespace orvane
