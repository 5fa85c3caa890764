// Files dropped from other programs: OLEDropMode on the controls that take drops, the DataObject
// of a drag and the events Qt's drag events become.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "com/dispatch.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "forms/oledrop.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/oledrop_qt.h"
#include "forms_test_support.h"

namespace {

std::unique_ptr<TestForm> MakeDropForm() {
  auto f = std::make_unique<TestForm>("frmDrop", [](TestForm& f) {
    f.Place({
        {"PictureBox", "picDrop", -1, "", 0, 0, 1500, 1500, "",
         {{"OLEDropMode", Variant(int16_t{1})}, {"BorderStyle", Variant(int16_t{0})}}},
        {"Image", "imgDrop", -1, "", 1600, 0, 1500, 1500, "", {{"OLEDropMode", Variant(int16_t{1})}}},
        {"Frame", "fraDrop", -1, "", 3200, 0, 1500, 1500, "", {{"OLEDropMode", Variant(int16_t{1})}}},
        {"PictureBox", "picNone", -1, "", 4800, 0, 1500, 1500, ""},
    });
  });
  f->Size(7000, 3000);
  return f;
}

QWidget* W(Form& f, const char* name) { return WidgetFromHwnd(f.FindControl(name)->hWnd()); }

std::unique_ptr<QMimeData> Mime(const std::vector<QString>& urls) {
  auto mime = std::make_unique<QMimeData>();
  QList<QUrl> list;
  for (const QString& u : urls) list.push_back(QUrl(u));
  mime->setUrls(list);
  return mime;
}

// One recorded OLEDragOver or OLEDragDrop.
struct Call {
  std::string event;
  std::vector<std::string> files;
  int32_t effect = -1;
  int16_t button = -1, shift = -1, state = -1;
  float x = 0, y = 0;
  DataObject* data = nullptr;
};

std::vector<std::string> FilesOf(DataObject& d) {
  std::vector<std::string> out;
  for (int32_t i = 1; i <= d.Files().Count(); ++i) out.push_back(d.Files().Item(i));
  return out;
}

// Records every drag event of the control; `reply` decides the effect a drag-over answers.
void Record(Form& f, const std::string& control, std::vector<Call>& calls,
            std::function<void(DataObject&, int32_t&)> reply = {}) {
  f.On(control + "_OLEDragOver", [&calls, reply](Variant Data, int32_t& Effect, int16_t Button, int16_t Shift,
                                                  float X, float Y, int16_t State) {
    DataObject& d = DataObjectOf(Data);
    calls.push_back({"OLEDragOver", FilesOf(d), Effect, Button, Shift, State, X, Y, &d});
    if (reply) reply(d, Effect);
  });
  f.On(control + "_OLEDragDrop",
       [&calls](Variant Data, int32_t& Effect, int16_t Button, int16_t Shift, float X, float Y) {
         DataObject& d = DataObjectOf(Data);
         calls.push_back({"OLEDragDrop", FilesOf(d), Effect, Button, Shift, -1, X, Y, &d});
       });
}

// The handler of the tile: keep the first file containing ".mov", offer a copy only then.
void KeepMovies(DataObject& d, int32_t& effect) {
  effect = vbDropEffectNone;
  for (int32_t i = 1; i <= d.Files().Count(); ++i) {
    std::string file = d.Files().Item(i);
    if (file.find(".MOV") != std::string::npos || file.find(".mov") != std::string::npos) {
      d.Files().Clear();
      d.Files().Add(file);
      effect = vbDropEffectCopy;
      return;
    }
  }
}

struct DragResult {
  bool enterAccepted = false;
  bool moveAccepted = false;
  bool dropAccepted = false;
  Qt::DropAction dropAction = Qt::IgnoreAction;
};

// Drags the mime data over the widget (enter, one move) and drops it (or leaves).
DragResult Drag(QWidget* w, const QMimeData& mime, bool drop, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  DragResult r;
  QPoint at(10, 20);
  Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, mods);
  QApplication::sendEvent(w, &enter);
  r.enterAccepted = enter.isAccepted();
  QDragMoveEvent move(at + QPoint(1, 1), offered, &mime, Qt::LeftButton, mods);
  QApplication::sendEvent(w, &move);
  r.moveAccepted = move.isAccepted();
  if (drop) {
    QDropEvent d(QPointF(at + QPoint(2, 2)), offered, &mime, Qt::LeftButton, mods);
    QApplication::sendEvent(w, &d);
    r.dropAccepted = d.isAccepted();
    r.dropAction = d.dropAction();
  } else {
    QDragLeaveEvent leave;
    QApplication::sendEvent(w, &leave);
  }
  return r;
}

TEST(OleDrop, EachControlKindTakesFilesInTheDraggingProgramsOrder) {
  for (const char* control : {"picDrop", "imgDrop", "fraDrop"}) {
    SCOPED_TRACE(control);
    auto f = MakeDropForm();
    f->Show();
    std::vector<Call> calls;
    Record(*f, control, calls, [](DataObject&, int32_t& effect) { effect = vbDropEffectCopy; });
    auto mime = Mime({"file:///m/readme.txt", "https://example.com/a.avi", "file:///m/clip.MOV"});
    DragResult r = Drag(W(*f, control), *mime, true, Qt::ShiftModifier);
    EXPECT_TRUE(r.dropAccepted);
    EXPECT_EQ(r.dropAction, Qt::CopyAction);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].event, "OLEDragOver");
    EXPECT_EQ(calls[0].state, 0);
    EXPECT_EQ(calls[1].state, 2);
    EXPECT_EQ(calls[2].event, "OLEDragDrop");
    std::vector<std::string> local = {"/m/readme.txt", "/m/clip.MOV"};
    for (const Call& c : calls) {
      EXPECT_EQ(c.files, local) << c.event;
      EXPECT_EQ(c.effect, vbDropEffectCopy) << "the dragging program offers a copy";
      EXPECT_EQ(c.button, 1);
      EXPECT_EQ(c.shift, 1);
    }
    // Positions in twips of the control (the drop came at 12, 22 pixels).
    EXPECT_FLOAT_EQ(calls[2].x, 12 * 15);
    EXPECT_FLOAT_EQ(calls[2].y, 22 * 15);
    f->Unload();
  }
}

TEST(OleDrop, AListReducedWhileDraggingIsTheListTheDropSees) {
  auto f = MakeDropForm();
  f->Show();
  std::vector<Call> calls;
  Record(*f, "picDrop", calls, KeepMovies);
  auto mime = Mime({"file:///m/readme.txt", "file:///m/clip.MOV", "file:///m/other.mov"});
  DragResult r = Drag(W(*f, "picDrop"), *mime, true);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].files, (std::vector<std::string>{"/m/readme.txt", "/m/clip.MOV", "/m/other.mov"}));
  EXPECT_EQ(calls[1].files, std::vector<std::string>{"/m/clip.MOV"});
  EXPECT_EQ(calls[2].files, std::vector<std::string>{"/m/clip.MOV"});
  // One object from the entering to the drop.
  EXPECT_EQ(calls[0].data, calls[2].data);
  EXPECT_TRUE(r.moveAccepted);
  EXPECT_TRUE(r.dropAccepted);
  f->Unload();
}

TEST(OleDrop, EffectNoneRefusesTheDropAndADragThatLeavesEndsItsObject) {
  auto f = MakeDropForm();
  f->Show();
  std::vector<Call> calls;
  Record(*f, "picDrop", calls, KeepMovies);
  auto texts = Mime({"file:///m/readme.txt", "sftp://host/clip.mov"});
  DragResult r = Drag(W(*f, "picDrop"), *texts, true);
  EXPECT_FALSE(r.moveAccepted);
  EXPECT_FALSE(r.dropAccepted);
  ASSERT_EQ(calls.size(), 2u) << "a refused drag drops nothing";
  EXPECT_EQ(calls[0].files, std::vector<std::string>{"/m/readme.txt"}) << "a non-local address is no file";

  calls.clear();
  auto movies = Mime({"file:///m/clip.MOV"});
  Drag(W(*f, "picDrop"), *movies, false);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2].event, "OLEDragOver");
  EXPECT_EQ(calls[2].state, 1);
  // The next drag gets a new object with the whole list again.
  calls.clear();
  Drag(W(*f, "picDrop"), *movies, false);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].files, std::vector<std::string>{"/m/clip.MOV"});
  f->Unload();
}

TEST(OleDrop, AFailingHandlerRefusesTheDrag) {
  auto f = MakeDropForm();
  f->Show();
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  f->On("picDrop_OLEDragOver", [](Variant, int32_t& Effect, int16_t, int16_t, float, float, int16_t) {
    Effect = vbDropEffectCopy;
    Raise(vbErrInvalidProcedureCall);
  });
  auto mime = Mime({"file:///m/clip.MOV"});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W(*f, "picDrop"), &enter);
  EXPECT_EQ(enter.dropAction(), Qt::IgnoreAction);
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_NE(script->MsgBoxes()[0].prompt.find("Run-time error '5'"), std::string::npos);
  f->Unload();
}

TEST(OleDrop, DropModeIsAPropertyOfTheControlsThatTakeDrops) {
  auto f = MakeDropForm();
  f->Load();
  auto& pic = dynamic_cast<PictureBox&>(*f->FindControl("picDrop"));
  auto& none = dynamic_cast<PictureBox&>(*f->FindControl("picNone"));
  EXPECT_EQ(pic.OLEDropMode(), vbOLEDropManual);
  EXPECT_TRUE(W(*f, "picDrop")->acceptDrops());
  EXPECT_EQ(none.GetProperty("OLEDropMode").i2(), vbOLEDropNone);
  EXPECT_FALSE(W(*f, "picNone")->acceptDrops());
  EXPECT_EQ(ErrorOf([&] { pic.OLEDropMode(2); }), vbErrInvalidPropertyValue);
  pic.SetProperty("oledropmode", Variant(int16_t{0}));
  EXPECT_FALSE(W(*f, "picDrop")->acceptDrops());
  EXPECT_EQ(ErrorOf([&] { f->FindControl("picDrop")->GetProperty("OLEDropMode"); }), 0);
  f->Unload();
}

TEST(OleDrop, TheDataObjectAnswersLateBoundCallers) {
  ComPtr<DataObject> d = MakeDataObject({"/a/one.avi", "/a/two.avi"}, "text");
  Variant v = DataObjectVariant(d.Get());
  ComPtr<IDispatch> disp(v.pdisp());
  EXPECT_TRUE(CallByName(disp.Get(), "GetFormat", DISPATCH_METHOD, {Variant(int16_t{vbCFFiles})}).boolVal());
  EXPECT_EQ(CallByName(disp.Get(), "GetData", DISPATCH_METHOD, {Variant(int16_t{vbCFText})}).bstr().Utf8(), "text");
  Variant files = CallByName(disp.Get(), "Files", DISPATCH_PROPERTYGET);
  ComPtr<IDispatch> f(files.pdisp());
  EXPECT_EQ(CallByName(f.Get(), "Count", DISPATCH_PROPERTYGET).i4(), 2);
  EXPECT_EQ(CallByName(f.Get(), "Item", DISPATCH_METHOD, {Variant(int32_t{2})}).bstr().Utf8(), "/a/two.avi");
  EXPECT_EQ(ErrorOf([&] { CallByName(f.Get(), "Item", DISPATCH_METHOD, {Variant(int32_t{3})}); }),
            vbErrSubscriptOutOfRange);
  CallByName(f.Get(), "Add", DISPATCH_METHOD, {Variant(std::string("/a/zero.avi")), Variant(int32_t{1})});
  CallByName(f.Get(), "Remove", DISPATCH_METHOD, {Variant(int32_t{3})});
  EXPECT_EQ(FilesOf(*d), (std::vector<std::string>{"/a/zero.avi", "/a/one.avi"}));
  CallByName(f.Get(), "Clear", DISPATCH_METHOD);
  EXPECT_FALSE(d->GetFormat(vbCFFiles));
  EXPECT_EQ(&DataObjectOf(v), d.Get());
  EXPECT_EQ(ErrorOf([] { DataObjectOf(Variant(int16_t{1})); }), vbErrTypeMismatch);
}

// A user control raises its own "UserControl_" events through the same drop target.
TEST(OleDrop, AnyWidgetTakesDropsThroughTheHelper) {
  QWidget surface;
  surface.resize(100, 100);
  std::vector<std::string> raised;
  forms_detail::OleDropHooks hooks;
  hooks.raise = [&](const std::string& event, EventArgs& args) {
    raised.push_back("UserControl_" + event + (args.size() == 7 ? " " + std::to_string(args[6].i2()) : ""));
    args[1].Assign(Variant(int32_t{vbDropEffectCopy}));
  };
  hooks.toEventUnits = [](QPointF p) { return QPointF(p.x(), p.y()); };
  forms_detail::SetOleDropTarget(&surface, vbOLEDropManual, hooks);
  EXPECT_EQ(forms_detail::OleDropModeOf(&surface), vbOLEDropManual);
  auto mime = Mime({"file:///m/clip.MOV"});
  DragResult r = Drag(&surface, *mime, true);
  EXPECT_TRUE(r.dropAccepted);
  EXPECT_EQ(raised, (std::vector<std::string>{"UserControl_OLEDragOver 0", "UserControl_OLEDragOver 2",
                                               "UserControl_OLEDragDrop"}));
}

}  // namespace
