// Captions measured against their controls' room, with the fonts and the style that draw them.
#include "caption_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "forms/form.h"
#include "forms/qt/font_qt.h"
#include "forms/qt/hwnd_qt.h"

namespace fit {
namespace {

// A button's text as drawn: "&" marks the access key, "&&" stands for "&".
QString Drawn(const QString& text) {
  QString out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string Describe(const QWidget* w, const QString& text, QSize needs, QSize has) {
  QString where;
  for (const QWidget* p = w; p; p = p->parentWidget()) {
    if (p->isWindow()) {
      where = p->windowTitle();
      break;
    }
  }
  return QStringLiteral("%1 in \"%2\": \"%3\" needs %4x%5 px, has %6x%7")
      .arg(w->objectName(), where, text)
      .arg(needs.width())
      .arg(needs.height())
      .arg(has.width())
      .arg(has.height())
      .toStdString();
}

// Whether a layout places the widget: it has its room only once the layout ran, when it shows.
bool LaidOut(const QWidget* w) {
  const QWidget* parent = w->parentWidget();
  return parent && parent->layout();
}

void Check(QWidget* w, std::vector<std::string>& cut) {
  // Qt's own parts are not captions, except a message box's text.
  const bool boxText = w->objectName() == QLatin1String("qt_msgbox_label") ||
                       w->objectName() == QLatin1String("qt_msgbox_informativelabel");
  if ((w->objectName().startsWith(QLatin1String("qt_")) && !boxText) || w->width() <= 0 || w->height() <= 0) return;
  if (LaidOut(w) && !w->isVisible()) return;
  const QFontMetrics fm(w->font());
  if (auto* label = qobject_cast<QLabel*>(w)) {
    // A label with a buddy draws "&" as the access key's mark.
    const QString text = label->buddy() ? Drawn(label->text()) : label->text();
    if (text.isEmpty() || Qt::mightBeRichText(text)) return;
    const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs;
    if (label->wordWrap()) flags |= Qt::TextWordWrap;
    const QSize needs = fm.boundingRect(QRect(0, 0, room.width(), INT_MAX / 2), flags, text).size();
    if (needs.width() > room.width() || needs.height() > room.height()) {
      cut.push_back(Describe(w, text, needs, room.size()));
    }
    return;
  }
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    const QString text = Drawn(button->text());
    if (text.isEmpty()) return;
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(w)) {
      contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<QRadioButton*>(w)) {
      contents = QStyle::SE_RadioButtonContents;
    } else if (!qobject_cast<QPushButton*>(w)) {
      return;
    }
    const QRect room = w->style()->subElementRect(contents, &opt, w);
    QSize needs(fm.horizontalAdvance(text), fm.height());
    // A check box or option button tall enough for two lines wraps a caption wider than its room.
    if (contents != QStyle::SE_PushButtonContents && needs.width() > room.width() && room.height() >= 2 * fm.lineSpacing()) {
      needs = fm.boundingRect(QRect(0, 0, room.width(), INT_MAX / 2), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text).size();
    }
    if (needs.width() > room.width() || needs.height() > room.height()) {
      cut.push_back(Describe(w, text, needs, room.size()));
    }
    return;
  }
  if (auto* frame = qobject_cast<QGroupBox*>(w)) {
    const QString text = Drawn(frame->title());
    if (text.isEmpty()) return;
    const QRect title = FrameTitleRect(*frame);
    const int needs = fm.horizontalAdvance(text);
    // The title's room: from where the style puts it to the frame's right edge.
    const int room = w->width() - title.left();
    if (needs > room || title.left() < 0) cut.push_back(Describe(w, text, {needs, fm.height()}, {room, title.height()}));
  }
}

}  // namespace

std::vector<std::string> CutCaptionsIn(HWND window, const std::vector<std::string>& exempt) {
  std::vector<std::string> cut;
  QWidget* root = WidgetFromHwnd(window);
  if (!root) return {"no window"};
  QList<QWidget*> all = root->findChildren<QWidget*>();
  all.prepend(root);
  for (QWidget* w : all) {
    if (std::find(exempt.begin(), exempt.end(), w->objectName().toStdString()) == exempt.end()) Check(w, cut);
  }
  return cut;
}

std::vector<std::string> CutCaptions(Form& form, const std::vector<std::string>& exempt) {
  return CutCaptionsIn(form.hWnd(), exempt);
}

std::vector<std::string> CutCaptionsShown(QWidget& window, const std::vector<std::string>& exempt) {
  const bool hidden = !window.isVisible();
  if (hidden) window.show();
  // Layouts nested in the window place their controls on their pending requests.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  std::vector<std::string> cut = CutCaptionsIn(HwndFromWidget(&window), exempt);
  // Controls drawn over each other: any two shown controls of one container that share pixels.
  QList<QWidget*> all = window.findChildren<QWidget*>();
  all.prepend(&window);
  for (QWidget* container : all) {
    std::vector<QWidget*> shown;
    for (QObject* o : container->children()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (!w || w->isWindow() || !w->isVisible() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      if (std::find(exempt.begin(), exempt.end(), w->objectName().toStdString()) != exempt.end()) continue;
      shown.push_back(w);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
      for (size_t j = i + 1; j < shown.size(); ++j) {
        if (!shown[i]->geometry().intersects(shown[j]->geometry())) continue;
        cut.push_back(QStringLiteral("%1 and %2 in \"%3\" are drawn over each other")
                          .arg(shown[i]->objectName(), shown[j]->objectName(), window.windowTitle())
                          .toStdString());
      }
    }
  }
  // The window's own title, in the window manager's title bar.
  const int title = forms_detail::TitleBarWidth(window.windowTitle());
  if (!window.windowTitle().isEmpty() && title > window.width()) {
    cut.push_back(QStringLiteral("title of \"%1\" needs %2 px, has %3")
                      .arg(window.windowTitle())
                      .arg(title)
                      .arg(window.width())
                      .toStdString());
  }
  if (hidden) window.hide();
  return cut;
}

QRect FrameTitleRect(const QGroupBox& frame) {
  QStyleOptionGroupBox opt;
  opt.initFrom(&frame);
  opt.text = frame.title();
  opt.lineWidth = 1;
  opt.textAlignment = frame.alignment();
  opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  return frame.style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, &frame);
}

}  // namespace fit
