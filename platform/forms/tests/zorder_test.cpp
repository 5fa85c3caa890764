// Stacking of a container's controls: labels, images, lines and shapes have no window of their
// own and lie beneath every windowed control of their container, whatever the order of placing
// and ZOrder; among themselves, and among the windowed ones, the later placed lies on top.
#include <gtest/gtest.h>

#include <QWidget>
#include <string>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_test_support.h"

namespace {

QWidget* W(Control& c) { return WidgetFromHwnd(c.hWnd()); }

// Every control covers the rectangle 600,600 - 2100,1200 (twips) of the form's client area.
std::unique_ptr<TestForm> StackForm() {
  auto f = std::make_unique<TestForm>("frmStack", [](TestForm& t) {
    t.Size(6000, 4500);
    t.Place({{"PictureBox", "picFirst", -1, "", 600, 600, 1500, 600, ""},
             {"Label", "lblFirst", -1, "", 600, 600, 1500, 600, "first"},
             {"Image", "imgOver", -1, "", 600, 600, 1500, 600, ""},
             {"Label", "lblSecond", -1, "", 600, 600, 1500, 600, "second"},
             {"Shape", "shpOver", -1, "", 600, 600, 1500, 600, ""},
             {"Label", "lblArray", 0, "", 600, 600, 1500, 600, "element"},
             {"CommandButton", "cmdLater", -1, "", 600, 600, 1500, 600, "later"}});
  });
  return f;
}

// The names of the controls under the overlap, the topmost first.
std::vector<std::string> Stack(TestForm& f) {
  QWidget* client = W(*f.FindControl("picFirst"))->parentWidget();
  std::vector<std::string> out;
  const QObjectList children = client->children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    auto* w = qobject_cast<QWidget*>(*it);
    if (!w || !w->isVisible()) continue;
    if (!w->geometry().contains(QPoint(50, 50))) continue;
    out.push_back(w->objectName().toStdString());
  }
  return out;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ZOrder, WindowlessControlsLieBeneathTheWindowedOnes) {
  auto f = StackForm();
  f->Show();
  const Names placed{"cmdLater", "picFirst", "lblArray", "shpOver", "lblSecond", "imgOver", "lblFirst"};
  EXPECT_EQ(Stack(*f), placed);
  QWidget* client = W(*f->FindControl("picFirst"))->parentWidget();
  EXPECT_EQ(client->childAt(QPoint(50, 50)), W(*f->FindControl("cmdLater")));

  const struct {
    const char* control;
    int16_t position;
    Names after;
  } cases[] = {
      // A label to the front: the front of the windowless ones, still beneath the windowed.
      {"lblFirst", 0, {"cmdLater", "picFirst", "lblFirst", "lblArray", "shpOver", "lblSecond", "imgOver"}},
      // A label to the back: beneath all.
      {"lblFirst", 1, {"cmdLater", "picFirst", "lblArray", "shpOver", "lblSecond", "imgOver", "lblFirst"}},
      // A windowed control to the back: beneath the other windowed, over the windowless.
      {"cmdLater", 1, {"picFirst", "cmdLater", "lblArray", "shpOver", "lblSecond", "imgOver", "lblFirst"}},
      {"cmdLater", 0, {"cmdLater", "picFirst", "lblArray", "shpOver", "lblSecond", "imgOver", "lblFirst"}},
      {"imgOver", 0, {"cmdLater", "picFirst", "imgOver", "lblArray", "shpOver", "lblSecond", "lblFirst"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.control) + (c.position == 0 ? " to the front" : " to the back"));
    f->FindControl(c.control)->ZOrder(c.position);
    EXPECT_EQ(Stack(*f), c.after);
  }
  f->Unload();
}

TEST(ZOrder, ALoadedLabelElementGoesBeneathTheWindowedControls) {
  auto f = StackForm();
  f->Show();
  Control& added = f->LoadElement("lblArray", 1);
  added.Visible(true);
  QWidget* client = W(added)->parentWidget();
  const QObjectList children = client->children();  // the bottom one first
  const auto at = [&](Control& c) { return children.indexOf(W(c)); };
  EXPECT_LT(at(added), at(*f->FindControl("picFirst")));
  EXPECT_LT(at(added), at(*f->FindControl("cmdLater")));
  EXPECT_GT(at(added), at(*f->FindControl("lblArray", 0))) << "the front of the windowless ones";
  EXPECT_GT(at(added), at(*f->FindControl("shpOver")));
  f->Unload();
}

TEST(ZOrder, ALabelAddedToAShownFormGoesBeneathKeepingItsSize) {
  auto f = StackForm();
  f->Show();
  Control& late = f->Add({"Label", "lblLate", -1, "", 600, 600, 1500, 600, "late"});
  ASSERT_TRUE(PumpUntil([&] { return W(late)->isVisible(); }));
  DoEvents();
  QWidget* client = W(late)->parentWidget();
  const QObjectList children = client->children();  // the bottom one first
  const auto at = [&](Control& c) { return children.indexOf(W(c)); };
  EXPECT_LT(at(late), at(*f->FindControl("picFirst")));
  EXPECT_LT(at(late), at(*f->FindControl("cmdLater")));
  EXPECT_GT(at(late), at(*f->FindControl("shpOver")));
  EXPECT_EQ(W(late)->size(), QSize(100, 40));
  EXPECT_EQ(late.Width(), 1500);
  EXPECT_EQ(late.Height(), 600);
  f->Unload();
}

TEST(ZOrder, AHiddenImageShownLaterGoesBackBeneathTheLabelPlacedAfterIt) {
  auto f = std::make_unique<TestForm>("frmHidden", [](TestForm& t) {
    t.Size(6000, 4500);
    t.Place({{"PictureBox", "picPrev", -1, "", 600, 600, 1500, 600, "", {{"Visible", Variant(false)}}},
             {"Image", "imgStill", -1, "", 600, 600, 1500, 600, "", {{"Visible", Variant(false)}}},
             {"Label", "lblPreview", -1, "", 600, 600, 1500, 600, "Preview"},
             {"CommandButton", "cmdPlay", -1, "", 3000, 600, 900, 600, "Play"}});
  });
  f->Show();
  // A native window among the controls (as a video window makes) makes all of them native.
  (void)W(*f->FindControl("picPrev"))->winId();
  DoEvents();
  Control& image = *f->FindControl("imgStill");
  Control& picture = *f->FindControl("picPrev");
  Control& label = *f->FindControl("lblPreview");
  image.Visible(true);
  DoEvents();
  DoEvents();
  picture.Visible(true);
  DoEvents();
  const QObjectList children = W(label)->parentWidget()->children();  // the bottom one first
  const auto at = [&](Control& c) { return children.indexOf(W(c)); };
  EXPECT_LT(at(image), at(label)) << "the label placed after the image lies over it";
  EXPECT_LT(at(label), at(picture)) << "the picture box lies over both";
  EXPECT_EQ(W(image)->size(), QSize(100, 40));
  EXPECT_EQ(W(label)->size(), QSize(100, 40));
  f->Unload();
}
