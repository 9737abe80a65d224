#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>
#include <string>

namespace orvane {

// "NewDir": picks a directory for a new directory entry with a drive box and a directory tree.
// Both show only the drives of the server's drive map (FTPsrv.ini's [Drives]) and what lies under
// them, with the server's paths ("C:\ftp\pub"). OnAdd decides on "&Add": it returns the message
// to show (the window stays open) or an empty text (the window closes).
class TNewDir : public QDialog {
  Q_OBJECT

 public:
  explicit TNewDir(QWidget* parent = nullptr);

  // Shows the window with the drives of the drive map as it is now.
  void Open();
  // The chosen directory: the current tree item's path, or the drive root.
  std::string ChosenDirectory() const;
  // The five-position letter string of the boxes: R, W, D, M, S, "-" for each cleared box.
  std::string Letters() const;
  // Makes the tree item of a path current, opening the levels above it; false when the path
  // is not in the tree.
  bool SelectDirectory(const std::string& path);

  std::function<std::string(const std::string& dir, const std::string& letters)> OnAdd;

  QVBoxLayout Layout;
  QComboBox DriveComboBox1;
  QTreeWidget DirectoryListBox1;
  QHBoxLayout Boxes;
  QCheckBox CheckBox1{"&Read"};
  QCheckBox CheckBox2{"&Write"};
  QCheckBox CheckBox3{"&Delete"};
  QCheckBox CheckBox4{"Make"};
  QCheckBox CheckBox5{"+Subdirs"};
  QHBoxLayout Buttons;
  QPushButton Add{"&Add"};
  QPushButton Cancel{"&Cancel"};

 private:
  void ShowDrive();
  void Expand(QTreeWidgetItem* item);
};

}  // namespace orvane
