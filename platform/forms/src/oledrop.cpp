// Files dropped from other programs: the DataObject of a drag and the drop target that raises
// OLEDragOver and OLEDragDrop from Qt's drag events (XDND on X11).
#include "forms/oledrop.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <utility>

#include "com/dispatch.h"
#include "com/typeinfo.h"
#include "core/error.h"
#include "forms/control.h"
#include "forms/controls.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/oledrop_qt.h"
#include "forms_internal.h"

using namespace forms_detail;

// ---- the file list -------------------------------------------------------------------------------

std::string DataObjectFiles::Item(int32_t index) const {
  if (index < 1 || index > Count()) Raise(vbErrSubscriptOutOfRange);
  return files_[static_cast<size_t>(index - 1)];
}

void DataObjectFiles::Add(const std::string& file, int32_t index) {
  if (index == -1) index = Count() + 1;
  if (index < 1 || index > Count() + 1) Raise(vbErrSubscriptOutOfRange);
  files_.insert(files_.begin() + (index - 1), file);
}

// ---- the objects -----------------------------------------------------------------------------------

namespace {

constexpr GUID kLibId = MakeGuid("{5E8B0D71-2C4F-4A93-B1D6-7F30A2E9C815}");

class IDataObjectDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{9C41F2A6-0B3D-4E78-8D15-E6A07B52C3F9}");
};
class IDataObjectFilesDisp : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{2F7D6B18-E45A-4C09-93B2-81C4D0A6E57D}");
};

enum : DISPID { kGetFormat = 1, kGetData = 2, kFiles = 3 };
enum : DISPID { kItem = 0, kCount = 1, kClear = 2, kAdd = 3, kRemove = 4 };

const bool kPublished = [] {
  using namespace desc;
  TypeLibDesc lib;
  lib.libid = kLibId;
  lib.name = "DataObject";
  lib.types = {
      DispInterface(IDataObjectDisp::iid, "DataObject",
                    {Method("GetFormat", kGetFormat, {In("Format", VT_I2), Retval(VT_BOOL)}),
                     Method("GetData", kGetData, {Optional("Format"), Retval(VT_VARIANT)}),
                     PropertyGet("Files", kFiles, VT_DISPATCH)}),
      DispInterface(IDataObjectFilesDisp::iid, "DataObjectFiles",
                    {Method("Item", kItem, {In("Index", VT_I4), Retval(VT_BSTR)}),
                     PropertyGet("Count", kCount, VT_I4), Method("Clear", kClear),
                     Method("Add", kAdd, {In("bstrFilename", VT_BSTR), Optional("vIndex")}),
                     Method("Remove", kRemove, {In("vIndex", VT_VARIANT)})})};
  PublishTypeLib(lib);
  return true;
}();

class DataObjectImpl;

// The late-bound face of a DataObject's file list; it keeps its DataObject alive.
class FilesDisp : public DispatchObject<IDataObjectFilesDisp> {
 public:
  explicit FilesDisp(ComPtr<DataObject> owner);

 private:
  ComPtr<DataObject> owner_;
};

class DataObjectImpl : public DispatchObject<IDataObjectDisp, DataObject> {
 public:
  DataObjectImpl(std::vector<std::string> files, std::string text)
      : DispatchObject(kLibId, 1, 0, IDataObjectDisp::iid), text_(std::move(text)) {
    for (std::string& f : files) files_.Add(f);
    Dispatch()
        .Method(kGetFormat, [this](DispatchArgs& a) { return Variant(GetFormat(a.Integer(0))); })
        .Method(kGetData,
                [this](DispatchArgs& a) {
                  if (!a.IsMissing(0) && a.Integer(0) != vbCFText) Raise(vbErrInvalidProcedureCall);
                  return Variant(text_);
                })
        .Get(kFiles, [this](DispatchArgs&) {
          ComPtr<DataObject> self(static_cast<DataObject*>(this));
          ComPtr<IDataObjectFilesDisp> files = MakeComObject<FilesDisp>(self);
          return Variant(static_cast<IDispatch*>(files.Get()));
        });
  }
  bool GetFormat(int16_t format) const override {
    if (format == vbCFFiles) return files_.Count() > 0;
    if (format == vbCFText) return !text_.empty();
    return false;
  }
  DataObjectFiles& Files() override { return files_; }
  std::string Text() const override { return text_; }

 private:
  DataObjectFiles files_;
  std::string text_;
};

FilesDisp::FilesDisp(ComPtr<DataObject> owner)
    : DispatchObject(kLibId, 1, 0, IDataObjectFilesDisp::iid), owner_(std::move(owner)) {
  Dispatch()
      .Method(kItem, [this](DispatchArgs& a) { return Variant(owner_->Files().Item(a.Long(0))); })
      .Get(kCount, [this](DispatchArgs&) { return Variant(owner_->Files().Count()); })
      .Method(kClear,
              [this](DispatchArgs&) {
                owner_->Files().Clear();
                return Variant();
              })
      .Method(kAdd,
              [this](DispatchArgs& a) {
                owner_->Files().Add(a.String(0), a.IsMissing(1) ? -1 : LongOf(a[1]));
                return Variant();
              })
      .Method(kRemove, [this](DispatchArgs& a) {
        DataObjectFiles& files = owner_->Files();
        int32_t index = LongOf(a[0]);
        std::vector<std::string> kept;
        for (int32_t i = 1; i <= files.Count(); ++i) {
          if (i != index) kept.push_back(files.Item(i));
        }
        if (index < 1 || index > files.Count()) Raise(vbErrSubscriptOutOfRange);
        files.Clear();
        for (const std::string& f : kept) files.Add(f);
        return Variant();
      });
}

}  // namespace

ComPtr<DataObject> MakeDataObject(std::vector<std::string> files, std::string text) {
  (void)kPublished;
  ComPtr<DataObjectImpl> impl = MakeComObject<DataObjectImpl>(std::move(files), std::move(text));
  return ComPtr<DataObject>(static_cast<DataObject*>(impl.Get()));
}

DataObject& DataObjectOf(const Variant& arg) {
  Variant v = arg.Deref();
  if (v.IsObject() && v.punk()) {
    void* p = nullptr;
    if (SUCCEEDED(v.punk()->QueryInterface(DataObject::iid, &p)) && p) {
      auto* data = static_cast<DataObject*>(p);
      data->Release();  // the argument keeps it alive
      return *data;
    }
  }
  Raise(vbErrTypeMismatch);
}

Variant DataObjectVariant(DataObject* data) {
  if (!data) return Variant(static_cast<IDispatch*>(nullptr));
  ComPtr<IDispatch> disp;
  data->QueryInterface(IID_IDispatch, disp.put_void());
  return Variant(disp.Get());
}

// ---- the drop target -----------------------------------------------------------------------------

namespace {

enum OleDragState : int16_t { kEnter = 0, kLeave = 1, kOver = 2 };

// The local files of a drag, in the dragging program's order; other addresses are not files.
std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files.push_back(S(url.toLocalFile()));
  }
  return files;
}

int32_t OfferedEffect(Qt::DropActions actions) {
  return (actions & Qt::CopyAction) ? vbDropEffectCopy : vbDropEffectNone;
}

class OleDropTarget : public QObject {
 public:
  OleDropTarget(QWidget* widget, OleDropHooks hooks) : QObject(widget), widget_(widget), hooks_(std::move(hooks)) {
    setObjectName("OleDropTarget");
    widget->installEventFilter(this);
  }
  int16_t mode = 0;
  void SetHooks(OleDropHooks hooks) { hooks_ = std::move(hooks); }

 protected:
  bool eventFilter(QObject* obj, QEvent* e) override {
    if (obj != widget_ || mode != vbOLEDropManual) return false;
    switch (e->type()) {
      case QEvent::DragEnter: {
        auto* de = static_cast<QDragEnterEvent*>(e);
        data_ = MakeDataObject(LocalFiles(de->mimeData()), de->mimeData() ? S(de->mimeData()->text()) : std::string());
        int32_t effect = lastEffect_ = Over(*de, kEnter);
        // The widget stays the drag's target whatever this position's answer, so that later
        // positions are asked again.
        de->setDropAction(effect == vbDropEffectCopy ? Qt::CopyAction : Qt::IgnoreAction);
        de->accept();
        return true;
      }
      case QEvent::DragMove: {
        auto* de = static_cast<QDragMoveEvent*>(e);
        if (!data_) data_ = MakeDataObject(LocalFiles(de->mimeData()));
        lastEffect_ = Over(*de, kOver);
        Answer(*de, lastEffect_);
        return true;
      }
      case QEvent::DragLeave: {
        ComPtr<DataObject> data = std::move(data_);
        if (data) {
          int32_t effect = vbDropEffectNone;
          QPointF p = widget_ ? QPointF(widget_->mapFromGlobal(QCursor::pos())) : QPointF();
          RaiseOver(data.Get(), effect, 0, 0, p, kLeave);
        }
        return true;
      }
      case QEvent::Drop: {
        auto* de = static_cast<QDropEvent*>(e);
        ComPtr<DataObject> data = std::move(data_);
        // A drop the last position refused is no drop (the window system does not deliver one).
        int32_t effect = std::exchange(lastEffect_, vbDropEffectNone) & OfferedEffect(de->possibleActions());
        if (!data || effect == vbDropEffectNone) {
          Answer(*de, vbDropEffectNone);
          return true;
        }
        QPointF u = Units(de->position());
        EventArgs args{DataObjectVariant(data.Get()), Variant::ByRef(VT_I4, &effect),
                       Variant(ButtonOf(de->buttons())), Variant(ShiftOf(de->modifiers())),
                       Variant(static_cast<float>(u.x())), Variant(static_cast<float>(u.y()))};
        Guard([&] { hooks_.raise("OLEDragDrop", args); });
        Answer(*de, effect);
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QPointF Units(QPointF pixels) const {
    return hooks_.toEventUnits ? hooks_.toEventUnits(pixels) : QPointF(pixels.x() * 15, pixels.y() * 15);
  }
  int32_t Over(const QDragMoveEvent& de, int16_t state) {
    int32_t effect = OfferedEffect(de.possibleActions());
    ComPtr<DataObject> data = data_;  // a handler may end the drag
    RaiseOver(data.Get(), effect, ButtonOf(de.buttons()), ShiftOf(de.modifiers()), de.position(), state);
    return effect;
  }
  void RaiseOver(DataObject* data, int32_t& effect, int16_t button, int16_t shift, QPointF pixels, int16_t state) {
    QPointF u = Units(pixels);
    EventArgs args{DataObjectVariant(data),          Variant::ByRef(VT_I4, &effect), Variant(button),
                   Variant(shift),                   Variant(static_cast<float>(u.x())),
                   Variant(static_cast<float>(u.y())), Variant(state)};
    // A failing handler refuses the drag.
    bool ok = false;
    Guard([&] {
      hooks_.raise("OLEDragOver", args);
      ok = true;
    });
    if (!ok) effect = vbDropEffectNone;
  }
  static void Answer(QDropEvent& de, int32_t effect) {
    if (effect & vbDropEffectCopy) {
      de.setDropAction(Qt::CopyAction);
      de.accept();
    } else {
      de.setDropAction(Qt::IgnoreAction);
      de.ignore();
    }
  }

  QPointer<QWidget> widget_;
  OleDropHooks hooks_;
  ComPtr<DataObject> data_;
  int32_t lastEffect_ = vbDropEffectNone;
};

OleDropTarget* TargetOf(const QWidget* widget) {
  return widget ? widget->findChild<OleDropTarget*>("OleDropTarget", Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

namespace forms_detail {

void SetOleDropTarget(QWidget* widget, int16_t mode, OleDropHooks hooks) {
  if (mode != vbOLEDropNone && mode != vbOLEDropManual) ::Raise(vbErrInvalidPropertyValue);
  if (!widget) ::Raise(vbErrObjectDoesntSupport);
  OleDropTarget* t = TargetOf(widget);
  if (!t) {
    t = new OleDropTarget(widget, std::move(hooks));
  } else {
    t->SetHooks(std::move(hooks));
  }
  t->mode = mode;
  widget->setAcceptDrops(mode == vbOLEDropManual);
}

int16_t OleDropModeOf(const QWidget* widget) {
  OleDropTarget* t = TargetOf(widget);
  return t ? t->mode : int16_t{0};
}

void SetControlOleDropMode(Control& control, int16_t mode) {
  Control* c = &control;
  OleDropHooks hooks;
  hooks.raise = [c](const std::string& event, EventArgs& args) { args = c->Raise(event, std::move(args)); };
  hooks.toEventUnits = [c](QPointF pixels) {
    const auto& convert = c->native().toEventUnits;
    return convert ? convert(pixels) : QPointF(pixels.x() * 15, pixels.y() * 15);
  };
  SetOleDropTarget(WidgetOf(control), mode, std::move(hooks));
}

int16_t ControlOleDropMode(const Control& control) { return OleDropModeOf(WidgetOf(control)); }

}  // namespace forms_detail

// ---- the controls that take drops ------------------------------------------------------------

#define FORMS_OLE_DROP_MODE(Class)                                                    \
  int16_t Class::OLEDropMode() const { return ControlOleDropMode(*this); }            \
  void Class::OLEDropMode(int16_t v) { SetControlOleDropMode(*this, v); }
FORMS_OLE_DROP_MODE(Image)
FORMS_OLE_DROP_MODE(Frame)
FORMS_OLE_DROP_MODE(PictureBox)
#undef FORMS_OLE_DROP_MODE
