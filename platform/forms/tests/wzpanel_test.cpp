// The panel control: a container whose content moves, hides and goes to the front with it, that
// draws its background, its picture at the top-left and a raised edge, and raises no events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <cstdlib>
#include <filesystem>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms/picture_object.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/picture_qt.h"
#include "forms/wzpanel.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<TestForm> PanelForm() {
  auto f = std::make_unique<TestForm>("frmPanel", [](TestForm& t) {
    t.Size(6000, 4500);
    t.Place({{"WzPanel", "pnlVideoFile", -1, "", 300, 300, 3000, 1500, ""},
             {"CommandButton", "cmdPlay", -1, "pnlVideoFile", 105, 285, 585, 555, "Play"},
             {"Label", "lblInside", -1, "pnlVideoFile", 800, 300, 900, 255, "in"},
             {"PictureBox", "picBehind", -1, "", 600, 600, 1500, 600, ""}});
  });
  f->LogEvents({"cmdPlay_Click", "pnlVideoFile_Click", "pnlVideoFile_MouseDown", "pnlVideoFile_MouseUp",
                "pnlVideoFile_MouseMove", "pnlVideoFile_DblClick"});
  return f;
}

QWidget* W(Control& c) { return WidgetFromHwnd(c.hWnd()); }

void ClickAt(QWidget* w, QPoint at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &release);
}

fs::path Scratch() {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / "wzpanel";
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST(WzPanel, WhatItHoldsMovesShowsAndHidesWithIt) {
  auto f = PanelForm();
  f->Show();
  Control& panel = *f->FindControl("pnlVideoFile");
  Control& button = *f->FindControl("cmdPlay");
  EXPECT_TRUE(panel.IsContainer());
  EXPECT_EQ(button.Container(), &panel);

  QPoint before = W(button)->mapTo(W(button)->window(), QPoint(0, 0));
  panel.Move(600, 900, 4500, 870);
  EXPECT_EQ(panel.Left(), 600);
  EXPECT_EQ(panel.Top(), 900);
  EXPECT_EQ(panel.Width(), 4500);
  EXPECT_EQ(panel.Height(), 870);
  QPoint after = W(button)->mapTo(W(button)->window(), QPoint(0, 0));
  EXPECT_EQ(after - before, QPoint(20, 40)) << "the button moves with its panel";
  EXPECT_EQ(button.Left(), 105) << "its position inside the panel stays";

  // Late bound, as the main window's layout sets them.
  panel.SetProperty("Left", Variant(int32_t{3480}));
  panel.SetProperty("Width", Variant(int32_t{6030}));
  EXPECT_EQ(panel.GetProperty("Left"), Variant(int32_t{3480}));
  EXPECT_EQ(panel.GetProperty("Width"), Variant(int32_t{6030}));

  panel.Visible(false);
  EXPECT_FALSE(panel.Visible());
  EXPECT_FALSE(W(button)->isVisible()) << "hidden with its panel";
  EXPECT_TRUE(button.Visible()) << "its own Visible is untouched";
  panel.SetProperty("Visible", Variant(true));
  EXPECT_TRUE(W(button)->isVisible());
  f->Unload();
}

TEST(WzPanel, ZOrderBringsItAndItsContentToTheFront) {
  auto f = PanelForm();
  f->Show();
  Control& panel = *f->FindControl("pnlVideoFile");
  Control& behind = *f->FindControl("picBehind");
  QWidget* client = W(panel)->parentWidget();
  // The picture box was placed after the panel, so it lies over the panel's corner.
  QPoint overlap = W(behind)->geometry().topLeft() + QPoint(2, 2);
  EXPECT_EQ(client->childAt(overlap), W(behind));
  panel.ZOrder(0);
  QWidget* top = client->childAt(overlap);
  EXPECT_TRUE(top == W(panel) || W(panel)->isAncestorOf(top)) << "the panel is in front";
  panel.ZOrder(1);
  EXPECT_EQ(client->childAt(overlap), W(behind));
  f->Unload();
}

TEST(WzPanel, RaisesNoEventsWhileItsControlsDo) {
  auto f = PanelForm();
  f->Show();
  Control& panel = *f->FindControl("pnlVideoFile");
  ClickAt(W(panel), QPoint(150, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(160, 6), W(panel)->mapToGlobal(QPointF(160, 6)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(W(panel), &move);
  EXPECT_TRUE(f->log.empty()) << "the panel reports nothing";
  ClickAt(W(*f->FindControl("cmdPlay")), QPoint(5, 5));
  EXPECT_EQ(f->log, std::vector<std::string>{"cmdPlay_Click"});
  f->Unload();
}

TEST(WzPanel, DrawsBackColorPictureAtTopLeftAndARaisedEdge) {
  auto f = PanelForm();
  f->Show();
  auto& panel = dynamic_cast<WzPanel&>(*f->FindControl("pnlVideoFile"));
  panel.Move(0, 0, 3000, 1500);  // 200 x 100 pixels
  f->FindControl("picBehind")->Visible(false);
  f->FindControl("cmdPlay")->Visible(false);
  f->FindControl("lblInside")->Visible(false);
  EXPECT_EQ(panel.BackColor(), OLE_COLOR{0x8000000F}) << "button face";

  QImage strip(40, 20, QImage::Format_RGB32);
  strip.fill(QColor(200, 20, 40));
  Picture picture = PictureFromImage(strip);
  panel.SetProperty("Picture", PictureVariant(picture));
  EXPECT_EQ(panel.GetPicture(), picture);
  EXPECT_EQ(PictureFromVariant(panel.GetProperty("Picture")), picture);
  panel.BackColor(0x00FF00);  // green (BGR)

  QImage shot = W(panel)->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_TRUE(shot.save(QString::fromStdString((Scratch() / "panel.png").string()), "PNG"));
  QImage png(QString::fromStdString((Scratch() / "panel.png").string()));
  ASSERT_EQ(png.size(), QSize(200, 100));
  EXPECT_EQ(png.pixelColor(10, 10), QColor(200, 20, 40)) << "the picture at the top-left";
  EXPECT_EQ(png.pixelColor(38, 18), QColor(200, 20, 40));
  EXPECT_EQ(png.pixelColor(100, 50), QColor(0, 255, 0)) << "the background";
  EXPECT_EQ(png.pixelColor(42, 10), QColor(0, 255, 0)) << "the picture is not stretched";
  QColor light = png.pixelColor(100, 0), dark = png.pixelColor(100, 99);
  EXPECT_NE(light, QColor(0, 255, 0)) << "an edge along the top";
  EXPECT_NE(dark, QColor(0, 255, 0)) << "an edge along the bottom";
  EXPECT_GT(light.lightness(), dark.lightness()) << "raised: light above, dark below";
  EXPECT_EQ(png.pixelColor(0, 50), light);
  EXPECT_EQ(png.pixelColor(199, 50), dark);

  panel.SetPicture(Picture());
  png = W(panel)->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(png.pixelColor(10, 10), QColor(0, 255, 0)) << "no picture: background only";
  f->Unload();
}
