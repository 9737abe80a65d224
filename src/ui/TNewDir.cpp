#include "ui/TNewDir.h"

#include "platform/FileSystem.h"
#include "ui/QtText.h"

namespace orvane {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

std::string PathOf(const QTreeWidgetItem* item) {
  return item->data(0, kPathRole).toString().toUtf8().toStdString();
}

QTreeWidgetItem* NewItem(const std::string& name, const std::string& path) {
  auto item = std::make_unique<QTreeWidgetItem>(QStringList{Q(name)});
  item->setData(0, kPathRole, Q(path));
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item.release();  // owned by the tree it is added to
}

}  // namespace

TNewDir::TNewDir(QWidget* parent) : QDialog(parent) {
  setObjectName("NewDir");
  setWindowTitle("NewDir");
  DirectoryListBox1.setHeaderHidden(true);
  Layout.addWidget(&DriveComboBox1);
  Layout.addWidget(&DirectoryListBox1);
  for (QCheckBox* box : {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5}) {
    Boxes.addWidget(box);
  }
  Layout.addLayout(&Boxes);
  Buttons.addStretch(1);
  Buttons.addWidget(&Add);
  Buttons.addWidget(&Cancel);
  Layout.addLayout(&Buttons);
  setLayout(&Layout);
  resize(360, 420);

  connect(&DriveComboBox1, &QComboBox::currentIndexChanged, this, [this] { ShowDrive(); });
  connect(&DirectoryListBox1, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { Expand(item); });
  connect(&Add, &QPushButton::clicked, this, [this] {
    const std::string message = OnAdd ? OnAdd(ChosenDirectory(), Letters()) : std::string();
    if (message.empty()) hide();
  });
  connect(&Cancel, &QPushButton::clicked, this, &QWidget::hide);
}

void TNewDir::Open() {
  const QSignalBlocker block(DriveComboBox1);
  DriveComboBox1.clear();
  std::map<char, std::string> drives = FileSystem::DriveMap();
  // Strings are built piece by piece here: g++ 12 warns falsely (-Wrestrict) about assigning or
  // concatenating short literals.
  if (drives.empty()) drives['C'].push_back('/');
  for (const auto& [letter, posix] : drives) {
    std::string label(1, letter);
    label += ": [";
    label += posix;
    label += "]";
    DriveComboBox1.addItem(Q(label), Q(std::string(1, letter) + ":\\"));
  }
  ShowDrive();
  show();
  raise();
  activateWindow();
}

void TNewDir::ShowDrive() {
  DirectoryListBox1.clear();
  const std::string root = DriveComboBox1.currentData().toString().toUtf8().toStdString();
  if (root.empty()) return;
  QTreeWidgetItem* item = NewItem(root, root);
  DirectoryListBox1.addTopLevelItem(item);
  DirectoryListBox1.setCurrentItem(item);
  item->setExpanded(true);
}

void TNewDir::Expand(QTreeWidgetItem* item) {
  if (item->data(0, kFilledRole).toBool()) return;
  item->setData(0, kFilledRole, true);
  std::string base = PathOf(item);
  if (base.empty() || base.back() != '\\') base += '\\';
  for (const FileInfo& entry : FileSystem::Enumerate(base + "*.*")) {
    if (!entry.directory || entry.name == "." || entry.name == "..") continue;
    item->addChild(NewItem(entry.name, base + entry.name));
  }
  if (item->childCount() == 0) {
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
  }
}

std::string TNewDir::ChosenDirectory() const {
  const QTreeWidgetItem* item = DirectoryListBox1.currentItem();
  return item != nullptr ? PathOf(item) : std::string();
}

bool TNewDir::SelectDirectory(const std::string& path) {
  QTreeWidgetItem* item = DirectoryListBox1.topLevelItem(0);
  while (item != nullptr) {
    const std::string at = PathOf(item);
    if (at.size() == path.size() && at == path) {
      DirectoryListBox1.setCurrentItem(item);
      return true;
    }
    item->setExpanded(true);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount() && next == nullptr; ++i) {
      const std::string child = PathOf(item->child(i));
      if (path == child || path.rfind(child + "\\", 0) == 0) next = item->child(i);
    }
    item = next;
  }
  return false;
}

std::string TNewDir::Letters() const {
  std::string letters = "-----";
  const QCheckBox* boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5};
  for (int i = 0; i < 5; ++i) {
    if (boxes[i]->isChecked()) letters[static_cast<size_t>(i)] = "RWDMS"[i];
  }
  return letters;
}

}  // namespace orvane
