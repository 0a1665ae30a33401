#include "internal/UIEditorHost.h"

#include "UIContainer.h"
#include "UIManager.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegion>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace DuiLib {

namespace {

// Keys the editor hands back to the window.
class EditorKeys : public QObject {
 public:
  EditorKeys(QObject* parent, std::function<bool(int key)> onKey)
      : QObject(parent), onKey_(std::move(onKey)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape || key == Qt::Key_Return ||
           key == Qt::Key_Enter) &&
          onKey_(key))
        return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<bool(int)> onKey_;
};

}  // namespace

bool CEditorHost::Open(CControlUI* owner, const Options& options, const QString& text) {
  if (editor_) return true;
  CPaintManagerUI* pm = owner ? owner->GetManager() : nullptr;
  QWidget* host = pm && pm->GetPaintWindow() ? SOWin::WidgetOf(pm->GetPaintWindow()) : nullptr;
  if (!host) return false;
  owner_ = owner;
  QFont font = options.font;
  font.setPixelSize(std::max(1, int(font.pixelSize() * pm->GetZoomRatio() + 0.5)));
  QPalette palette;
  palette.setColor(QPalette::Text, options.color);
  palette.setColor(QPalette::Base, options.background);
  palette.setColor(QPalette::Window, options.background);
  QWidget* editor;
  QDate date = QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
  if (options.date && date.isValid()) {
    auto* edit = new QDateEdit(date, host);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setCalendarPopup(true);
    edit->setFrame(false);
    QObject::connect(edit, &QDateEdit::dateChanged, edit,
                     [this](const QDate& d) { Changed(d.toString(QStringLiteral("yyyy-MM-dd"))); });
    editor = edit;
  } else if (options.multiLine) {
    auto* plain = new QPlainTextEdit(host);
    plain->setFrameShape(QFrame::NoFrame);
    plain->setPlainText(text);
    plain->moveCursor(QTextCursor::End);
    QObject::connect(plain, &QPlainTextEdit::textChanged, plain,
                     [this, plain] { Changed(plain->toPlainText()); });
    editor = plain;
  } else {
    auto* line = new QLineEdit(host);
    line->setFrame(false);
    line->setText(text);
    line->setMaxLength(std::max(1, std::min(options.maxChar, 32767)));
    if (options.password) line->setEchoMode(QLineEdit::Password);
    if (options.numberOnly)
      line->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line));
    if (options.align & DT_CENTER_UI)
      line->setAlignment(Qt::AlignCenter);
    else if (options.align & DT_RIGHT_UI)
      line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QObject::connect(line, &QLineEdit::textEdited, line, [this](const QString& t) { Changed(t); });
    editor = line;
  }
  bool wantReturn = options.multiLine && options.wantReturn;
  editor->installEventFilter(new EditorKeys(editor, [this, wantReturn](int key) {
    CPaintManagerUI* manager = owner_ ? owner_->GetManager() : nullptr;
    if (!manager) return false;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
      manager->SetNextTabControl(key == Qt::Key_Tab);
      return true;
    }
    if (key == Qt::Key_Escape) {
      PostMessageW(manager->GetPaintWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
      return true;
    }
    if (wantReturn) return false;
    if (onReturn) onReturn();
    return true;
  }));
  editor->setFont(font);
  editor->setPalette(palette);
  editor->setAutoFillBackground(true);
  editor_ = editor;
  editor->show();
  editor->setFocus(Qt::OtherFocusReason);
  return true;
}

void CEditorHost::Close() {
  if (!editor_) return;
  QWidget* editor = editor_;
  editor_ = nullptr;
  owner_ = nullptr;
  // Its own signal may be on the stack: let Qt delete it later.
  editor->disconnect();
  editor->hide();
  editor->deleteLater();
}

void CEditorHost::Place(const RECT& rc, bool visible) {
  if (!editor_ || !owner_ || !owner_->GetManager()) return;
  double zoom = owner_->GetManager()->GetZoomRatio();
  const QRect whole(QPoint(int(rc.left * zoom), int(rc.top * zoom)),
                    QPoint(int(rc.right * zoom) - 1, int(rc.bottom * zoom) - 1));
  // A control scrolled partly out of its containers shows only the part inside them: the
  // editor is cut to that part, so it neither covers the containers' margins nor takes
  // clicks and the wheel there.
  RECT shown = rc;
  for (CControlUI* up = owner_->GetParent(); up; up = up->GetParent()) {
    const auto* container = static_cast<const CContainerUI*>(up->GetInterface(L"Container"));
    const RECT inner = container ? container->InnerRect() : up->GetPos();
    shown.left = std::max(shown.left, inner.left);
    shown.top = std::max(shown.top, inner.top);
    shown.right = std::min(shown.right, inner.right);
    shown.bottom = std::min(shown.bottom, inner.bottom);
  }
  if (shown.right <= shown.left || shown.bottom <= shown.top) {
    // Out of sight but keeping the focus and what is typed.
    editor_->setGeometry(whole.translated(-100000, -100000));
  } else {
    editor_->setGeometry(whole);
    const QRect part(QPoint(int(shown.left * zoom), int(shown.top * zoom)),
                     QPoint(int(shown.right * zoom) - 1, int(shown.bottom * zoom) - 1));
    if (part.contains(whole))
      editor_->clearMask();
    else
      editor_->setMask(QRegion(part.translated(-whole.topLeft())));
  }
  editor_->setVisible(visible);
}

void CEditorHost::SetText(const QString& text) {
  if (!editor_) return;
  syncing_ = true;
  if (auto* edit = qobject_cast<QDateEdit*>(editor_.data())) {
    QDate date = QDate::fromString(text.trimmed(), QStringLiteral("yyyy-MM-dd"));
    if (date.isValid()) edit->setDate(date);
  } else if (auto* line = qobject_cast<QLineEdit*>(editor_.data()))
    line->setText(text);
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(editor_.data()))
    plain->setPlainText(text);
  syncing_ = false;
}

void CEditorHost::Changed(const QString& text) {
  if (!syncing_ && onChanged) onChanged(text);
}

}  // namespace DuiLib
