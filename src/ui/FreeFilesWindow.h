#pragma once

#include <QAction>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>
#include <optional>
#include <string>

#include "host/FtpHost.h"
#include "ui/ButtonRow.h"
#include "ui/PopupKey.h"

namespace orvane {

// "Files/Dirs free to download", shown modally. The list box shows the host's free list, which
// the list buttons edit directly, so an item counts for the next download at once. Showing and
// Cancel load the stored list again; OK rewrites the section.
class FreeFilesWindow : public QDialog {
  Q_OBJECT

 public:
  explicit FreeFilesWindow(FtpHost& host, QWidget* parent = nullptr);

  // The "..." button's open dialog, starting in the given directory: the chosen file's own
  // path, nothing when abandoned. Tests replace it.
  std::function<std::optional<std::string>(const std::string& start)> ChooseFile;

  QVBoxLayout Layout;
  QLabel Examples{"Examples :  D:\\files.zip   C:\\temp\\   index.txt   *.exe"};
  QGridLayout Grid;
  QListWidget ListBox1;
  QLineEdit Edit1;
  QPushButton SpeedButton1{"..."};
  QPushButton Button2{"<< Add"};
  QPushButton Button4{">> Delete"};
  QMenu PopupMenu1;
  QAction* Delete1 = nullptr;
  ButtonRow Buttons;
  QPushButton Button1{"&Ok"};
  QPushButton Button3{"&Cancel"};

  // The list box shown again from the host's list.
  void Fill();
  void Reload();
  void AddClick();
  // "...": the chosen file goes into Edit1 as the server names it, by its drive path; a file
  // on no drive of the server is refused with a message.
  void BrowseClick();
  void DeleteClick();
  void OkClick();
  void CancelClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateEnabling();

  FtpHost& host_;
  PopupKey popupKey_;
};

}  // namespace orvane
