#include "splitter/WzTick.h"

#include <string>

#include "com/typeinfo.h"
#include "core/error.h"
#include "core/runtime_convert.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/usercontrol.h"

namespace {

class IWzTick : public IDispatch {
 public:
  static constexpr IID iid = wztick::kIid;
};

constexpr const char* kTipTail = ") - Left click to set start, right to set end";

// Whole numbers, halves to even.
int32_t Whole(double x) { return CLng(Variant(x)); }

class WzTick : public UserControlObject<IWzTick> {
 public:
  WzTick()
      : UserControlObject({"WzTick", wztick::kLibId, 1, 0, wztick::kClsid, wztick::kIid, {}, wztick::kDiidEvents,
                           {}, OLEMISC_SETCLIENTSITEFIRST}) {
    using namespace wztick;
    Dispatch()
        .Method(kCreateTicks, [this](DispatchArgs& a) {
          int32_t count = a.Long(0);
          CreateTicks(count);
          a.Set(0, Variant(count));
          return Variant();
        })
        .Method(kResizeTicks, [this](DispatchArgs&) {
          ResizeTicks();
          return Variant();
        })
        .Method(kClearTicks, [this](DispatchArgs&) {
          ClearTicks();
          return Variant();
        })
        .Get(kAutoRedraw, [this](DispatchArgs&) { return Variant(autoRedraw_); })
        .Put(kAutoRedraw, [this](DispatchArgs& a) {
          autoRedraw_ = a.Bool(0);
          PropertyChanged("AutoRedraw");
          return Variant();
        })
        .Method(kRefresh, [this](DispatchArgs&) {
          Refresh();
          return Variant();
        })
        .Get(kTickSpace, [this](DispatchArgs&) { return Variant(TickSpace); })
        .Put(kTickSpace, [this](DispatchArgs& a) {
          TickSpace = a.Long(0);
          return Variant();
        });
    On("UserControl_Resize", [this] { ResizeTicks(); });
    On("UserControl_ReadProperties", [this](Variant PropBag) {
      Step([&] { autoRedraw_ = CBool(PropertyBag(PropBag).ReadProperty("AutoRedraw", Variant(false))); });
    });
    On("UserControl_WriteProperties", [this](Variant PropBag) {
      Step([&] { PropertyBag(PropBag).WriteProperty("AutoRedraw", Variant(autoRedraw_), Variant(false)); });
    });
    On("Line1_MouseUp", [this](int16_t Index, int16_t Button, int16_t, float, float) {
      int16_t button = Button;
      int16_t index = Index;
      float x = 0;
      if (!Step([&] { x = static_cast<float>(Tick(Index).Left()); })) return;
      RaiseEvent(kTickClick, {Variant::ByRef(VT_I2, &button), Variant::ByRef(VT_I2, &index),
                              Variant::ByRef(VT_R4, &x)});
    });
  }

  int32_t TickSpace = 0;

 protected:
  void Design() override {
    Place({{"Label", "Line1", 0, "", 90, 0, 60, 360, "",
            {{"BackColor", Variant(int32_t{0})},
             {"BackStyle", Variant(int16_t{1})},
             {"ToolTipText", Variant("Left click to set start, right to set end")}}}});
  }

 private:
  Label& Tick(int16_t i) { return dynamic_cast<Label&>(*FindControl("Line1", i)); }
  int16_t HighestTick() {
    std::vector<int16_t> indexes = ElementIndexes("Line1");
    return indexes.empty() ? int16_t{0} : indexes.back();
  }
  static std::string Tip(int64_t frame) { return "Frame (" + std::to_string(frame) + kTipTail; }

  void CreateTicks(int32_t& TickCount) {
    Step([&] { ClearTicks(); });
    int32_t step = 1;
    const int32_t requested = TickCount;
    const double width = ScaleWidth();
    Step([&] {
      const int32_t tickWidth = Tick(0).Width();
      if (static_cast<double>(tickWidth) * TickCount > width) {
        TickCount = Whole(width / (tickWidth + 15));
        if (TickCount == 0) Raise(vbErrDivisionByZero);
        step = Whole(static_cast<double>(requested) / TickCount);
      }
    });
    Step([&] {
      if (TickCount == 0) Raise(vbErrDivisionByZero);
      TickSpace = Whole(width / TickCount);
    });
    Step([&] {
      Label& t0 = Tick(0);
      t0.Top(0);
      t0.Height(Whole(ScaleHeight()));
      t0.ToolTipText(Tip(1));  // tick 0 always names the first frame
      t0.Visible(true);
    });
    for (int32_t i = 1; i <= TickCount && i <= 32767; ++i) {
      Step([&] {
        Label& t = dynamic_cast<Label&>(LoadElement("Line1", static_cast<int16_t>(i)));
        t.Top(0);
        t.Height(Whole(ScaleHeight()));
        t.Left(i * TickSpace - t.Width());
        t.ToolTipText(Tip(static_cast<int64_t>(i + 1) * step));
        t.Visible(true);
      });
      DoEvents();
    }
  }

  void ResizeTicks() {
    Step([&] {
      const int16_t n = HighestTick();
      if (n == 0) return;
      TickSpace = Whole(static_cast<double>(ScaleWidth()) / n);
      Label& t0 = Tick(0);
      t0.Top(0);
      t0.Height(Whole(ScaleHeight()));
      t0.Left(0);
      t0.Visible(true);
      for (int16_t i = 1; i <= n; ++i) {
        Step([&] {
          Label& t = Tick(i);
          t.Top(0);
          t.Height(Whole(ScaleHeight()));
          t.Left(i * TickSpace - t.Width());
          t.Visible(true);
        });
        DoEvents();
      }
    });
  }

  void ClearTicks() {
    const int16_t n = HighestTick();
    for (int16_t i = 1; i <= n; ++i) Step([&] { UnloadElement("Line1", i); });
    Step([&] { Tick(0).Visible(false); });
  }

  bool autoRedraw_ = false;
};

}  // namespace

void RegisterWzTick() {
  static const bool registered = [] {
    using namespace desc;
    TypeLibDesc lib;
    lib.libid = wztick::kLibId;
    lib.name = "Reelwright";
    lib.types = {
        DualInterface(wztick::kIid, "_WzTick",
                      {PropertyGet("TickSpace", wztick::kTickSpace, VT_I4),
                       PropertyPut("TickSpace", wztick::kTickSpace, VT_I4),
                       Method("CreateTicks", wztick::kCreateTicks, {InOut("TickCount", VT_I4), Retval(VT_VARIANT)}),
                       Method("ResizeTicks", wztick::kResizeTicks),
                       Method("ClearTicks", wztick::kClearTicks, {Retval(VT_VARIANT)}),
                       PropertyGet("AutoRedraw", wztick::kAutoRedraw, VT_BOOL),
                       PropertyPut("AutoRedraw", wztick::kAutoRedraw, VT_BOOL),
                       Method("Refresh", wztick::kRefresh)}),
        DispInterface(wztick::kDiidEvents, "__WzTick",
                      {Method("TickClick", wztick::kTickClick,
                              {InOut("Button", VT_I2), InOut("Index", VT_I2), InOut("X", VT_R4)})}),
        ControlClass(wztick::kClsid, "WzTick",
                     {{wztick::kIid, IMPLTYPEFLAG_FDEFAULT},
                      {wztick::kDiidEvents, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}})};
    PublishTypeLib(lib);
    RegisterUserControlClass<WzTick>(wztick::kClsid, wztick::kProgId);
    return true;
  }();
  (void)registered;
}
