#include "ui/TSpyForm.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace orvane {

TSpyForm::TSpyForm(FtpHost& host, ClientActions& actions, StayOnTop& stayOnTop)
    : QWidget(nullptr, Qt::Window), host_(host), actions_(actions), stayOnTop_(stayOnTop) {
  setObjectName("SpyForm");
  setWindowTitle("Spy user");
  resize(480, 300);
  RichEdit1.setObjectName("RichEdit1");
  RichEdit1.setReadOnly(true);
  RichEdit1.setUndoRedoEnabled(false);
  RichEdit1.document()->setMaximumBlockCount(static_cast<int>(SpyFeed::kMaxLines));
  RichEdit1.setContextMenuPolicy(Qt::CustomContextMenu);
  popupKey_.Watch(RichEdit1);
  UserNamePanel.setMinimumWidth(150);
  IpPanel.setMinimumWidth(95);
  StatusBar1.setSizeGripEnabled(false);
  StatusBar1.addWidget(&UserNamePanel);
  StatusBar1.addWidget(&IpPanel);
  Layout.setContentsMargins(0, 0, 0, 0);
  Layout.setSpacing(0);
  Layout.addWidget(&RichEdit1);
  Layout.addWidget(&StatusBar1);
  setLayout(&Layout);

  PopupMenu1.addAction(&Clearbuffer1);
  PopupMenu1.addAction(&Showmoreinformations1);
  PopupMenu1.addAction(&Kick1);
  connect(&RichEdit1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1.popup(RichEdit1.viewport()->mapToGlobal(at)); });
  connect(&Clearbuffer1, &QAction::triggered, this, [this] {
    feed_.Clear();
    RichEdit1.clear();
  });
  connect(&Showmoreinformations1, &QAction::triggered, this, &TSpyForm::ShowMoreInformations);
  connect(&Kick1, &QAction::triggered, this, &TSpyForm::KickCommand);

  AskKick = [this] {
    const auto b = QMessageBox::question(
        this, windowTitle(), "Do you want to ban him at the same time ?",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    return b == QMessageBox::Yes  ? KickAnswer::Yes
           : b == QMessageBox::No ? KickAnswer::No
                                  : KickAnswer::Cancel;
  };
  ShowMessage = [this](const std::string& text) {
    QMessageBox::information(this, windowTitle(), Q(text));
  };

  host_.OnCommandSeen = [this](const Usrdata& r, const std::string& k, const std::string& p) {
    if (feed_.Command(&r, k, p)) Append(feed_.Lines().back().text, true);
  };
  host_.OnAnswerSeen = [this](const Usrdata& r, const std::string& answer) {
    if (feed_.Answer(&r, answer)) Append(feed_.Lines().back().text, false);
  };
  host_.OnClientLeaving = [this](const Usrdata& r) {
    // Hidden from the loop, not inside the engine's disconnection handling.
    if (feed_.Left(&r)) QTimer::singleShot(0, this, [this] { hide(); });
  };
}

TSpyForm::~TSpyForm() {
  host_.OnCommandSeen = nullptr;
  host_.OnAnswerSeen = nullptr;
  host_.OnClientLeaving = nullptr;
}

void TSpyForm::SetHeader() {
  const Usrdata* record = actions_.Resolve(feed_.Spied());
  setWindowTitle(Q(feed_.Caption()));
  UserNamePanel.setText(record ? Q(SpyFeed::UserNamePanel(*record)) : "UserName: ");
  IpPanel.setText(record ? Q(SpyFeed::IpPanel(*record)) : "IP: ");
}

void TSpyForm::Spy(const ClientRef& ref, const std::string& caption) {
  feed_.Start(ref, caption);
  RichEdit1.clear();
  SetHeader();
  show();
  raise();
}

void TSpyForm::Append(const std::string& text, bool green) {
  // One block per line, added at the end: the cost does not grow with the text, and the
  // document drops its first block once it holds kMaxLines.
  QTextCursor cursor(RichEdit1.document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(green ? QColor(0, 128, 0) : QColor(0, 0, 0));
  if (!RichEdit1.document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(Q(text), format);
  feed_.TakeDropped();
}

void TSpyForm::ShowMoreInformations() {
  if (const Usrdata* record = actions_.Resolve(feed_.Spied())) {
    ShowMessage(SpyFeed::MoreInformations(*record));
  }
}

void TSpyForm::KickCommand() {
  const ClientRef ref = feed_.Spied();
  if (actions_.Resolve(ref) == nullptr) return;
  actions_.Kick(ref, AskKick());
}

void TSpyForm::showEvent(QShowEvent* event) {
  feed_.SetVisible(true);
  RichEdit1.clear();
  SetHeader();
  stayOnTop_.DialogShown();
  if (OnShownOrHidden) OnShownOrHidden();
  QWidget::showEvent(event);
}

void TSpyForm::hideEvent(QHideEvent* event) {
  feed_.SetVisible(false);
  stayOnTop_.DialogHidden();
  if (OnShownOrHidden) OnShownOrHidden();
  QWidget::hideEvent(event);
}

void TSpyForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace orvane
