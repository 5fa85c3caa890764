// Label, TextBox, CommandButton, CheckBox, OptionButton, Frame, Image, Line and Shape.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QTextCursor>
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "core/error.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/picture_object.h"
#include "forms/qt/picture_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

// "&File" shows as "File" with F as the access key; "&&" is a plain "&".
QString LabelText(const std::string& caption) {
  QString out;
  QString in = Q(caption);
  for (int i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 < in.size() && in[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += in[i];
  }
  return out;
}

Qt::Alignment AlignOf(int16_t a) {
  switch (a) {
    case vbRightJustify: return Qt::AlignRight | Qt::AlignTop;
    case vbCenter: return Qt::AlignHCenter | Qt::AlignTop;
    default: return Qt::AlignLeft | Qt::AlignTop;
  }
}

template <class W>
W* As(const Control& c) {
  return static_cast<W*>(WidgetOf(c));
}

// A widget that draws a picture: the Image control.
class PictureView : public QWidget {
 public:
  Picture picture;
  bool stretch = false;
  int16_t border = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QImage img = ImageOf(picture);
    if (!img.isNull()) {
      if (stretch) {
        p.drawImage(rect(), img);
      } else {
        p.drawImage(0, 0, img);
      }
    }
    if (border) {
      p.setPen(Qt::black);
      p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
  }
};

// A check box or option button whose caption is wider than the room beside its indicator wraps
// it word by word over as many lines as the control is tall enough for; the indicator stays
// centred on the control's height. A caption that fits, or a control one line tall, draws as is.
template <class Base, QStyle::SubElement kContents>
class WrappingButton : public Base {
 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    QStyleOptionButton opt;
    this->initStyleOption(&opt);
    opt.text = Wrapped(opt);
    p.drawControl(std::is_same_v<Base, QCheckBox> ? QStyle::CE_CheckBox : QStyle::CE_RadioButton, opt);
  }

 private:
  QString Wrapped(const QStyleOptionButton& opt) const {
    const QRect room = this->style()->subElementRect(kContents, &opt, this);
    const QFontMetrics fm(this->font());
    auto width = [&](const QString& s) { return fm.horizontalAdvance(QString(s).remove('&')); };
    if (width(opt.text) <= room.width() || room.height() < 2 * fm.lineSpacing()) return opt.text;
    QStringList lines;
    QString line;
    for (const QString& word : opt.text.split(' ', Qt::SkipEmptyParts)) {
      const QString joined = line.isEmpty() ? word : line + ' ' + word;
      if (!line.isEmpty() && width(joined) > room.width()) {
        lines << line;
        line = word;
      } else {
        line = joined;
      }
    }
    if (!line.isEmpty()) lines << line;
    return lines.join('\n');
  }
};

// The Frame control. Its face is transparent: what lies behind shows through (a storyboard
// tile's face is its border colour). It draws its line and title but not the style's shaded
// panel, inside which each opaque label in the container's colour would show as a patch. The
// caption is drawn as a frame's caption is: in the frame's ForeColor on the frame's own
// BackColor, so a frame over a dark container still shows its name, and shows it as part of the
// frame rather than as loose text over the container.
class FrameView : public QGroupBox {
 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter p(this);
    QStyleOptionGroupBox opt;
    initStyleOption(&opt);
    QRect frame = style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, this);
    // The line runs below the title, where the style puts its panel: a title's height (or an
    // indicator's, if taller) and a small margin down from the top; the margin alone without one.
    constexpr int kTopMargin = 3;
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &opt, this);
    const int titleHeight = std::max(indicator, opt.fontMetrics.height());
    frame.setTop(frame.top() + (opt.text.isEmpty() ? 0 : titleHeight) + kTopMargin);
    // A frame without a border (BorderStyle 0) keeps its title and draws no line.
    if (!isFlat()) {
      p.setPen(palette().color(QPalette::Window).darker(140));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    }
    opt.subControls &= ~QStyle::SC_GroupBoxFrame;
    const Control* c = ControlOfWidget(this);
    if (c && !opt.text.isEmpty()) {
      const QRect label = style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, this);
      p.fillRect(label, ColorFromOle(c->BackColor()));
      // The text colour of an enabled frame is its own ForeColor, not one a container of
      // another colour handed down; a disabled one keeps the desktop's grey text.
      const QColor fore = ColorFromOle(c->ForeColor());
      for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        opt.palette.setColor(g, QPalette::WindowText, fore);
      opt.textColor = QColor();
    }
    p.drawComplexControl(QStyle::CC_GroupBox, opt);
  }
};

using WrappingCheckBox = WrappingButton<QCheckBox, QStyle::SE_CheckBoxContents>;
using WrappingRadioButton = WrappingButton<QRadioButton, QStyle::SE_RadioButtonContents>;

}  // namespace

// ---- Label -------------------------------------------------------------------------------------

struct Label::Impl {
  std::string caption;
  int16_t backStyle = 1;
  bool autoSize = false;
  int16_t border = 0;
};

Label::Label(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new QLabel;
  w->setAlignment(AlignOf(vbLeftJustify));
  w->setWordWrap(true);
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  native().dblClick = true;
  ApplyColors(w, ForeColor(), BackColor(), true);
  w->resize(1215 / 15, 255 / 15);
}

std::string Label::Caption() const { return d_->caption; }
void Label::Caption(const std::string& v) {
  Impl& s = *d_;
  if (s.caption == v) return;
  s.caption = v;
  As<QLabel>(*this)->setText(LabelText(v));
  if (s.autoSize) As<QLabel>(*this)->adjustSize();
  Raise("Change");
}
int16_t Label::Alignment() const {
  Qt::Alignment a = As<QLabel>(*this)->alignment();
  if (a & Qt::AlignRight) return vbRightJustify;
  if (a & Qt::AlignHCenter) return vbCenter;
  return vbLeftJustify;
}
void Label::Alignment(int16_t v) { As<QLabel>(*this)->setAlignment(AlignOf(v)); }
bool Label::AutoSize() const { return d_->autoSize; }
void Label::AutoSize(bool v) {
  d_->autoSize = v;
  if (v) As<QLabel>(*this)->adjustSize();
}
bool Label::WordWrap() const { return As<QLabel>(*this)->wordWrap(); }
void Label::WordWrap(bool v) { As<QLabel>(*this)->setWordWrap(v); }
int16_t Label::BackStyle() const { return d_->backStyle; }
void Label::BackStyle(int16_t v) {
  d_->backStyle = v;
  ApplyColors(WidgetOf(*this), ForeColor(), BackColor(), v != 0);
}
int16_t Label::BorderStyle() const { return d_->border; }
void Label::BorderStyle(int16_t v) {
  d_->border = v;
  As<QLabel>(*this)->setFrameStyle(v ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
}
void Label::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "Alignment")) return Alignment(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "AutoSize")) return AutoSize(BoolOf(v));
  if (Is(n, "WordWrap")) return WordWrap(BoolOf(v));
  if (Is(n, "BackStyle")) return BackStyle(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BorderStyle")) return BorderStyle(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BackColor")) {
    Control::SetProperty(n, v);
    return BackStyle(BackStyle());
  }
  Control::SetProperty(n, v);
}
Variant Label::GetProperty(const std::string& n) const {
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "Alignment")) return Variant(Alignment());
  if (Is(n, "AutoSize")) return Variant(AutoSize());
  if (Is(n, "BackStyle")) return Variant(BackStyle());
  return Control::GetProperty(n);
}

// ---- TextBox -----------------------------------------------------------------------------------

struct TextBox::Impl {
  QLineEdit* line = nullptr;
  QString lastText;  // multi-line: the text as it stood after the last change
  QPlainTextEdit* multi = nullptr;
  bool settingText = false;
  int32_t maxLength = 0;
  int16_t scrollBars = 0;
  std::string passwordChar;
};

TextBox::TextBox(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  native().backColor = 0x80000005;
  native().foreColor = 0x80000008;
  native().dblClick = true;
  MultiLine(false);
}

void TextBox::MultiLine(bool v) {
  if (v == (d_->multi != nullptr) && (d_->line || d_->multi)) return;
  bool existed = d_->line || d_->multi;
  std::string text = existed ? Text() : std::string();
  bool locked = existed && Locked();
  int16_t alignment = existed ? Alignment() : static_cast<int16_t>(vbLeftJustify);
  QRect geo = WidgetOf(*this) ? WidgetOf(*this)->geometry() : QRect(0, 0, 1215 / 15, 285 / 15);
  if (QWidget* old = WidgetOf(*this)) {
    // The old widget goes later, possibly after this control: its events stop reaching it now.
    if (QObject* router = native().events) {
      old->removeEventFilter(router);
      for (QWidget* child : old->findChildren<QWidget*>()) child->removeEventFilter(router);
    }
    old->hide();
    old->deleteLater();
  }
  d_->line = nullptr;
  d_->multi = nullptr;
  std::weak_ptr<Impl> weak = d_;
  if (v) {
    auto* w = new QPlainTextEdit;
    d_->multi = w;
    w->setTabChangesFocus(true);
    w->setPlainText(Q(text));
    d_->lastText = Q(text);
    AttachWidget(*this, w);
    QObject::connect(w, &QPlainTextEdit::textChanged, w, [this, weak] {
      auto d = weak.lock();
      if (!d || d->settingText) return;
      // Typing beyond MaxLength is refused, as a single line refuses it.
      QString t = d->multi->toPlainText();
      if (d->maxLength > 0 && t.size() > d->maxLength) {
        int pos = std::min<int>(d->multi->textCursor().position(), d->maxLength);
        d->settingText = true;
        d->multi->setPlainText(t.left(d->maxLength));
        QTextCursor c = d->multi->textCursor();
        c.setPosition(pos);
        d->multi->setTextCursor(c);
        d->settingText = false;
        if (t.left(d->maxLength) == d->lastText) return;
      }
      d->lastText = d->multi->toPlainText();
      Guard([&] { Raise("Change"); });
    });
  } else {
    auto* w = new QLineEdit;
    d_->line = w;
    w->setText(Q(text));
    w->setMaxLength(d_->maxLength > 0 ? d_->maxLength : 32767);
    AttachWidget(*this, w);
    QObject::connect(w, &QLineEdit::textEdited, w, [this](const QString&) { Guard([&] { Raise("Change"); }); });
  }
  WidgetOf(*this)->setGeometry(geo);
  ApplyColors(WidgetOf(*this), ForeColor(), BackColor(), true);
  // The new widget takes over what the old one showed.
  WidgetOf(*this)->setVisible(Control::Visible());
  WidgetOf(*this)->setEnabled(Control::Enabled());
  ToolTipText(ToolTipText());
  MousePointer(MousePointer());
  Locked(locked);
  Alignment(alignment);
  PasswordChar(d_->passwordChar);
  ScrollBars(d_->scrollBars);
}
bool TextBox::MultiLine() const { return d_->multi != nullptr; }

std::string TextBox::Text() const {
  return d_->multi ? S(d_->multi->toPlainText()) : S(d_->line->text());
}
void TextBox::Text(const std::string& v) {
  std::string value = v;
  if (d_->maxLength > 0 && static_cast<int32_t>(Q(value).size()) > d_->maxLength) {
    value = S(Q(value).left(d_->maxLength));
  }
  if (value == Text()) return;
  d_->settingText = true;
  if (d_->multi) {
    d_->multi->setPlainText(Q(value));
    d_->lastText = Q(value);
  } else {
    d_->line->setText(Q(value));
  }
  d_->settingText = false;
  Raise("Change");
}
bool TextBox::Locked() const { return d_->multi ? d_->multi->isReadOnly() : d_->line->isReadOnly(); }
void TextBox::Locked(bool v) {
  if (d_->multi) {
    d_->multi->setReadOnly(v);
  } else {
    d_->line->setReadOnly(v);
  }
}
int32_t TextBox::MaxLength() const { return d_->maxLength; }
void TextBox::MaxLength(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  d_->maxLength = v;
  if (d_->line) d_->line->setMaxLength(v > 0 ? v : 32767);
}
int32_t TextBox::SelStart() const {
  if (d_->multi) return d_->multi->textCursor().selectionStart();
  return d_->line->hasSelectedText() ? d_->line->selectionStart() : d_->line->cursorPosition();
}
void TextBox::SelStart(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  int len = static_cast<int>(Q(Text()).size());
  int pos = std::min<int>(v, len);
  if (d_->multi) {
    QTextCursor c = d_->multi->textCursor();
    c.setPosition(pos);
    d_->multi->setTextCursor(c);
  } else {
    d_->line->deselect();
    d_->line->setCursorPosition(pos);
  }
}
int32_t TextBox::SelLength() const {
  if (d_->multi) {
    QTextCursor c = d_->multi->textCursor();
    return c.selectionEnd() - c.selectionStart();
  }
  return static_cast<int32_t>(d_->line->selectedText().size());
}
void TextBox::SelLength(int32_t v) {
  if (v < 0) ::Raise(vbErrInvalidPropertyValue);
  int start = SelStart();
  int len = static_cast<int>(Q(Text()).size());
  int n = std::min<int>(v, len - start);
  if (d_->multi) {
    QTextCursor c = d_->multi->textCursor();
    c.setPosition(start);
    c.setPosition(start + n, QTextCursor::KeepAnchor);
    d_->multi->setTextCursor(c);
  } else {
    d_->line->setSelection(start, n);
  }
}
std::string TextBox::SelText() const {
  if (d_->multi) return S(d_->multi->textCursor().selectedText());
  return S(d_->line->selectedText());
}
void TextBox::SelText(const std::string& v) {
  QString t = Q(Text());
  int start = SelStart();
  int n = SelLength();
  t.replace(start, n, Q(v));
  Text(S(t));
  SelStart(start + static_cast<int32_t>(Q(v).size()));
}
std::string TextBox::PasswordChar() const { return d_->passwordChar; }
void TextBox::PasswordChar(const std::string& v) {
  d_->passwordChar = v;
  if (d_->line) d_->line->setEchoMode(v.empty() ? QLineEdit::Normal : QLineEdit::Password);
}
int16_t TextBox::Alignment() const {
  Qt::Alignment a = d_->line ? d_->line->alignment() : Qt::AlignLeft;
  if (a & Qt::AlignRight) return vbRightJustify;
  if (a & Qt::AlignHCenter) return vbCenter;
  return vbLeftJustify;
}
void TextBox::Alignment(int16_t v) {
  if (d_->line) d_->line->setAlignment(v == vbRightJustify ? Qt::AlignRight : v == vbCenter ? Qt::AlignHCenter : Qt::AlignLeft);
}
int16_t TextBox::ScrollBars() const { return d_->scrollBars; }
void TextBox::ScrollBars(int16_t v) {
  d_->scrollBars = v;
  if (!d_->multi) return;
  d_->multi->setHorizontalScrollBarPolicy((v & 1) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  d_->multi->setVerticalScrollBarPolicy((v & 2) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
  // Without a horizontal scroll bar a multi-line box wraps its lines.
  d_->multi->setLineWrapMode((v & 1) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
}
void TextBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Text")) return Text(StringOf(v));
  if (Is(n, "MultiLine")) return MultiLine(BoolOf(v));
  if (Is(n, "Locked")) return Locked(BoolOf(v));
  if (Is(n, "MaxLength")) return MaxLength(LongOf(v));
  if (Is(n, "SelStart")) return SelStart(LongOf(v));
  if (Is(n, "SelLength")) return SelLength(LongOf(v));
  if (Is(n, "SelText")) return SelText(StringOf(v));
  if (Is(n, "PasswordChar")) return PasswordChar(StringOf(v));
  if (Is(n, "Alignment")) return Alignment(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "ScrollBars")) return ScrollBars(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant TextBox::GetProperty(const std::string& n) const {
  if (Is(n, "Text")) return Variant(Text());
  if (Is(n, "MultiLine")) return Variant(MultiLine());
  if (Is(n, "Locked")) return Variant(Locked());
  if (Is(n, "MaxLength")) return Variant(MaxLength());
  if (Is(n, "SelStart")) return Variant(SelStart());
  if (Is(n, "SelLength")) return Variant(SelLength());
  if (Is(n, "SelText")) return Variant(SelText());
  return Control::GetProperty(n);
}

// ---- CommandButton -----------------------------------------------------------------------------

CommandButton::CommandButton(const ControlSite& site) : Control(site) {
  auto* w = new QPushButton;
  w->setAutoDefault(false);
  AttachWidget(*this, w);
  w->resize(1215 / 15, 375 / 15);
  QObject::connect(w, &QPushButton::clicked, w, [this] { Guard([&] { Raise("Click"); }); });
}
std::string CommandButton::Caption() const { return S(As<QPushButton>(*this)->text()); }
void CommandButton::Caption(const std::string& v) { As<QPushButton>(*this)->setText(Q(v)); }
bool CommandButton::Default() const { return default_; }
void CommandButton::Default(bool v) {
  default_ = v;
  As<QPushButton>(*this)->setDefault(v);
  if (v) {
    // One Default button per form.
    for (Control* c : Parent().Controls()) {
      if (auto* b = dynamic_cast<CommandButton*>(c); b && b != this && b->default_) {
        b->default_ = false;
        As<QPushButton>(*b)->setDefault(false);
      }
    }
    SetDefaultButton(Parent(), this);
  }
}
bool CommandButton::Cancel() const { return cancel_; }
void CommandButton::Cancel(bool v) {
  cancel_ = v;
  if (v) {
    for (Control* c : Parent().Controls()) {
      if (auto* b = dynamic_cast<CommandButton*>(c); b && b != this) b->cancel_ = false;
    }
    SetCancelButton(Parent(), this);
  }
}
int16_t CommandButton::Style() const { return style_; }
void CommandButton::Style(int16_t v) {
  style_ = v;
  SetPicture(picture_);
}
Picture CommandButton::GetPicture() const { return picture_; }
void CommandButton::SetPicture(const Picture& p) {
  picture_ = p;
  auto* b = As<QPushButton>(*this);
  if (style_ == vbButtonGraphical && !p.IsEmpty()) {
    b->setIcon(QIcon(QPixmap::fromImage(ImageOf(p))));
    b->setIconSize(QSize(p.PixelWidth(), p.PixelHeight()));
  } else {
    b->setIcon(QIcon());
  }
}
bool CommandButton::Value() const { return false; }
void CommandButton::Value(bool v) {
  if (v) Raise("Click");
}
void CommandButton::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "Default")) return Default(BoolOf(v));
  if (Is(n, "Cancel")) return Cancel(BoolOf(v));
  if (Is(n, "Style")) return Style(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Value")) return Value(BoolOf(v));
  if (Is(n, "Picture")) return SetPicture(PictureFromVariant(v));
  Control::SetProperty(n, v);
}
Variant CommandButton::GetProperty(const std::string& n) const {
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "Default")) return Variant(Default());
  if (Is(n, "Cancel")) return Variant(Cancel());
  if (Is(n, "Style")) return Variant(Style());
  if (Is(n, "Value")) return Variant(Value());
  if (Is(n, "Picture")) return PictureVariant(GetPicture());
  return Control::GetProperty(n);
}

// ---- CheckBox ----------------------------------------------------------------------------------

CheckBox::CheckBox(const ControlSite& site) : Control(site) {
  auto* w = new WrappingCheckBox;
  AttachWidget(*this, w);
  w->resize(1215 / 15, 255 / 15);
  QObject::connect(w, &QCheckBox::clicked, w, [this] { Guard([&] { Raise("Click"); }); });
}
std::string CheckBox::Caption() const { return S(As<QCheckBox>(*this)->text()); }
void CheckBox::Caption(const std::string& v) { As<QCheckBox>(*this)->setText(Q(v)); }
int16_t CheckBox::Value() const {
  switch (As<QCheckBox>(*this)->checkState()) {
    case Qt::Checked: return vbChecked;
    case Qt::PartiallyChecked: return vbGrayed;
    default: return vbUnchecked;
  }
}
void CheckBox::Value(int16_t v) {
  if (v < vbUnchecked || v > vbGrayed) ::Raise(vbErrInvalidPropertyValue);
  if (v == Value()) return;
  auto* w = As<QCheckBox>(*this);
  w->setCheckState(v == vbChecked ? Qt::Checked : v == vbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  w->setTristate(false);
  Raise("Click");
}
void CheckBox::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "Value")) return Value(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant CheckBox::GetProperty(const std::string& n) const {
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "Value")) return Variant(Value());
  return Control::GetProperty(n);
}

// ---- OptionButton ------------------------------------------------------------------------------

OptionButton::OptionButton(const ControlSite& site) : Control(site) {
  auto* w = new WrappingRadioButton;
  AttachWidget(*this, w);
  w->resize(1215 / 15, 255 / 15);
  QObject::connect(w, &QRadioButton::clicked, w, [this] { Guard([&] { Raise("Click"); }); });
}
std::string OptionButton::Caption() const { return S(As<QRadioButton>(*this)->text()); }
void OptionButton::Caption(const std::string& v) { As<QRadioButton>(*this)->setText(Q(v)); }
bool OptionButton::Value() const { return As<QRadioButton>(*this)->isChecked(); }
void OptionButton::Value(bool v) {
  auto* w = As<QRadioButton>(*this);
  if (v == w->isChecked()) return;
  if (v) {
    w->setChecked(true);  // the other buttons of the same container go off
    Raise("Click");
  } else {
    w->setAutoExclusive(false);
    w->setChecked(false);
    w->setAutoExclusive(true);
  }
}
void OptionButton::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "Value")) return Value(BoolOf(v));
  Control::SetProperty(n, v);
}
Variant OptionButton::GetProperty(const std::string& n) const {
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "Value")) return Variant(Value());
  return Control::GetProperty(n);
}

// ---- Frame -------------------------------------------------------------------------------------

Frame::Frame(const ControlSite& site) : Control(site) {
  auto* w = new FrameView;
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  native().dblClick = true;
  w->resize(1215 / 15, 1215 / 15);
}
std::string Frame::Caption() const { return S(As<QGroupBox>(*this)->title()); }
void Frame::Caption(const std::string& v) { As<QGroupBox>(*this)->setTitle(Q(v)); }
int16_t Frame::BorderStyle() const { return As<QGroupBox>(*this)->isFlat() ? 0 : 1; }
void Frame::BorderStyle(int16_t v) { As<QGroupBox>(*this)->setFlat(v == 0); }
void Frame::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "OLEDropMode")) return OLEDropMode(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Caption")) return Caption(StringOf(v));
  if (Is(n, "BorderStyle")) return BorderStyle(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant Frame::GetProperty(const std::string& n) const {
  if (Is(n, "OLEDropMode")) return Variant(OLEDropMode());
  if (Is(n, "Caption")) return Variant(Caption());
  if (Is(n, "BorderStyle")) return Variant(BorderStyle());
  return Control::GetProperty(n);
}

// ---- Image -------------------------------------------------------------------------------------

Image::Image(const ControlSite& site) : Control(site) {
  auto* w = new PictureView;
  AttachWidget(*this, w);
  native().clickOnRelease = true;
  native().dblClick = true;
  w->resize(975 / 15, 975 / 15);
}
Picture Image::GetPicture() const { return As<PictureView>(*this)->picture; }
void Image::SetPicture(const Picture& p) {
  auto* w = As<PictureView>(*this);
  w->picture = p;
  // Without Stretch the control takes the picture's size.
  if (!w->stretch && !p.IsEmpty()) w->resize(p.PixelWidth(), p.PixelHeight());
  w->update();
}
bool Image::Stretch() const { return As<PictureView>(*this)->stretch; }
void Image::Stretch(bool v) {
  auto* w = As<PictureView>(*this);
  w->stretch = v;
  if (!v && !w->picture.IsEmpty()) w->resize(w->picture.PixelWidth(), w->picture.PixelHeight());
  w->update();
}
int16_t Image::BorderStyle() const { return As<PictureView>(*this)->border; }
void Image::BorderStyle(int16_t v) {
  As<PictureView>(*this)->border = v;
  WidgetOf(*this)->update();
}
void Image::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "OLEDropMode")) return OLEDropMode(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "Stretch")) return Stretch(BoolOf(v));
  if (Is(n, "Picture")) return SetPicture(PictureFromVariant(v));
  if (Is(n, "BorderStyle")) return BorderStyle(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant Image::GetProperty(const std::string& n) const {
  if (Is(n, "OLEDropMode")) return Variant(OLEDropMode());
  if (Is(n, "Stretch")) return Variant(Stretch());
  if (Is(n, "Picture")) return PictureVariant(GetPicture());
  if (Is(n, "BorderStyle")) return Variant(BorderStyle());
  return Control::GetProperty(n);
}

// ---- Line --------------------------------------------------------------------------------------

namespace {
class LineView : public QWidget {
 public:
  QPointF a, b;  // pixels, relative to this widget
  QColor color = Qt::black;
  int width = 1;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(QPen(color, width));
    p.drawLine(a, b);
  }
};
}  // namespace

struct LineControl::Impl {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  OLE_COLOR color = 0x80000008;
  int16_t width = 1;
};

namespace {
void PlaceLine(LineControl& l, LineControl::Impl& d) {
  auto* w = static_cast<LineView*>(WidgetOf(l));
  ScaleInfo s = ScaleOf(l.Parent(), l.Container());
  auto px = [&](float x) { return (x - s.left) / s.unitsPerPixelX; };
  auto py = [&](float y) { return (y - s.top) / s.unitsPerPixelY; };
  double x1 = px(d.x1), y1 = py(d.y1), x2 = px(d.x2), y2 = py(d.y2);
  int pad = d.width;
  int left = static_cast<int>(std::floor(std::min(x1, x2))) - pad;
  int top = static_cast<int>(std::floor(std::min(y1, y2))) - pad;
  int right = static_cast<int>(std::ceil(std::max(x1, x2))) + pad;
  int bottom = static_cast<int>(std::ceil(std::max(y1, y2))) + pad;
  w->setGeometry(left, top, right - left + 1, bottom - top + 1);
  w->a = QPointF(x1 - left, y1 - top);
  w->b = QPointF(x2 - left, y2 - top);
  w->color = ColorFromOle(d.color);
  w->width = d.width;
  w->update();
}
}  // namespace

LineControl::LineControl(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new LineView;
  w->setAttribute(Qt::WA_TransparentForMouseEvents);
  AttachWidget(*this, w);
  PlaceLine(*this, *d_);
}
float LineControl::X1() const { return d_->x1; }
float LineControl::Y1() const { return d_->y1; }
float LineControl::X2() const { return d_->x2; }
float LineControl::Y2() const { return d_->y2; }
void LineControl::X1(float v) { d_->x1 = v; PlaceLine(*this, *d_); }
void LineControl::Y1(float v) { d_->y1 = v; PlaceLine(*this, *d_); }
void LineControl::X2(float v) { d_->x2 = v; PlaceLine(*this, *d_); }
void LineControl::Y2(float v) { d_->y2 = v; PlaceLine(*this, *d_); }
OLE_COLOR LineControl::BorderColor() const { return d_->color; }
void LineControl::BorderColor(OLE_COLOR c) { d_->color = c; PlaceLine(*this, *d_); }
int16_t LineControl::BorderWidth() const { return d_->width; }
void LineControl::BorderWidth(int16_t v) {
  if (v < 1) ::Raise(vbErrInvalidPropertyValue);
  d_->width = v;
  PlaceLine(*this, *d_);
}
void LineControl::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "X1")) return X1(static_cast<float>(DoubleOf(v)));
  if (Is(n, "Y1")) return Y1(static_cast<float>(DoubleOf(v)));
  if (Is(n, "X2")) return X2(static_cast<float>(DoubleOf(v)));
  if (Is(n, "Y2")) return Y2(static_cast<float>(DoubleOf(v)));
  if (Is(n, "BorderColor")) return BorderColor(static_cast<OLE_COLOR>(LongOf(v)));
  if (Is(n, "BorderWidth")) return BorderWidth(static_cast<int16_t>(LongOf(v)));
  Control::SetProperty(n, v);
}
Variant LineControl::GetProperty(const std::string& n) const {
  if (Is(n, "X1")) return Variant(X1());
  if (Is(n, "Y1")) return Variant(Y1());
  if (Is(n, "X2")) return Variant(X2());
  if (Is(n, "Y2")) return Variant(Y2());
  if (Is(n, "BorderColor")) return Variant(static_cast<int32_t>(BorderColor()));
  if (Is(n, "BorderWidth")) return Variant(BorderWidth());
  return Control::GetProperty(n);
}

// ---- Shape -------------------------------------------------------------------------------------

struct Shape::Impl {
  int16_t shape = vbShapeRectangle;
  OLE_COLOR border = 0x80000008;
  int16_t borderWidth = 1;
  OLE_COLOR fill = 0;
  int16_t fillStyle = 1;
  int16_t backStyle = 0;
  OLE_COLOR back = 0x80000005;
};

namespace {
class ShapeView : public QWidget {
 public:
  std::shared_ptr<Shape::Impl> d;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, d->shape >= vbShapeOval);
    QRectF r = QRectF(rect()).adjusted(d->borderWidth / 2.0, d->borderWidth / 2.0, -d->borderWidth / 2.0 - 0.5,
                                       -d->borderWidth / 2.0 - 0.5);
    if (d->shape == vbShapeSquare || d->shape == vbShapeCircle || d->shape == vbShapeRoundedSquare) {
      double side = std::min(r.width(), r.height());
      r = QRectF(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    }
    auto draw = [&](const QBrush& brush) {
      p.setBrush(brush);
      switch (d->shape) {
        case vbShapeOval:
        case vbShapeCircle: p.drawEllipse(r); break;
        case vbShapeRoundedRectangle:
        case vbShapeRoundedSquare: p.drawRoundedRect(r, 10, 10); break;
        default: p.drawRect(r); break;
      }
    };
    p.setPen(Qt::NoPen);
    if (d->backStyle) draw(ColorFromOle(d->back));
    if (d->fillStyle == 0) draw(ColorFromOle(d->fill));
    p.setPen(QPen(ColorFromOle(d->border), d->borderWidth));
    draw(Qt::NoBrush);
  }
};
}  // namespace

Shape::Shape(const ControlSite& site) : Control(site), d_(std::make_shared<Impl>()) {
  auto* w = new ShapeView;
  w->d = d_;
  w->setAttribute(Qt::WA_TransparentForMouseEvents);
  AttachWidget(*this, w);
  w->resize(1215 / 15, 1215 / 15);
}
int16_t Shape::ShapeKind() const { return d_->shape; }
void Shape::ShapeKind(int16_t v) {
  if (v < vbShapeRectangle || v > vbShapeRoundedSquare) ::Raise(vbErrInvalidPropertyValue);
  d_->shape = v;
  WidgetOf(*this)->update();
}
OLE_COLOR Shape::BorderColor() const { return d_->border; }
void Shape::BorderColor(OLE_COLOR c) { d_->border = c; WidgetOf(*this)->update(); }
int16_t Shape::BorderWidth() const { return d_->borderWidth; }
void Shape::BorderWidth(int16_t v) {
  if (v < 1) ::Raise(vbErrInvalidPropertyValue);
  d_->borderWidth = v;
  WidgetOf(*this)->update();
}
OLE_COLOR Shape::FillColor() const { return d_->fill; }
void Shape::FillColor(OLE_COLOR c) { d_->fill = c; WidgetOf(*this)->update(); }
int16_t Shape::FillStyle() const { return d_->fillStyle; }
void Shape::FillStyle(int16_t v) { d_->fillStyle = v; WidgetOf(*this)->update(); }
int16_t Shape::BackStyle() const { return d_->backStyle; }
void Shape::BackStyle(int16_t v) { d_->backStyle = v; WidgetOf(*this)->update(); }
void Shape::SetProperty(const std::string& n, const Variant& v) {
  if (Is(n, "Shape")) return ShapeKind(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BorderColor")) return BorderColor(static_cast<OLE_COLOR>(LongOf(v)));
  if (Is(n, "BorderWidth")) return BorderWidth(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "FillColor")) return FillColor(static_cast<OLE_COLOR>(LongOf(v)));
  if (Is(n, "FillStyle")) return FillStyle(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BackStyle")) return BackStyle(static_cast<int16_t>(LongOf(v)));
  if (Is(n, "BackColor")) {
    d_->back = static_cast<OLE_COLOR>(LongOf(v));
    WidgetOf(*this)->update();
    return;
  }
  Control::SetProperty(n, v);
}
Variant Shape::GetProperty(const std::string& n) const {
  if (Is(n, "Shape")) return Variant(ShapeKind());
  if (Is(n, "BorderColor")) return Variant(static_cast<int32_t>(BorderColor()));
  if (Is(n, "FillColor")) return Variant(static_cast<int32_t>(FillColor()));
  if (Is(n, "FillStyle")) return Variant(FillStyle());
  if (Is(n, "BackStyle")) return Variant(BackStyle());
  return Control::GetProperty(n);
}

namespace {
const bool kRegistered = RegisterControlClass<Label>("Label") && RegisterControlClass<TextBox>("TextBox") &&
                         RegisterControlClass<CommandButton>("CommandButton") &&
                         RegisterControlClass<CheckBox>("CheckBox") &&
                         RegisterControlClass<OptionButton>("OptionButton") && RegisterControlClass<Frame>("Frame") &&
                         RegisterControlClass<Image>("Image") && RegisterControlClass<LineControl>("Line") &&
                         RegisterControlClass<Shape>("Shape");
}  // namespace
