#pragma once
// Files dropped from other programs (the desktop's drag and drop). A control whose OLEDropMode is
// 1 (manual: Image, Frame, PictureBox, and user controls) raises, while files are dragged over it,
//   OLEDragOver(Data, Effect, Button, Shift, X, Y, State)   State 0 entering, 1 leaving, 2 over
// and at the drop
//   OLEDragDrop(Data, Effect, Button, Shift, X, Y)
// X and Y in the control's scale units. Effect (by reference) comes in as what the dragging
// program offers and goes out as what the control accepts: 0 none, 1 copy. Data is the drag's
// DataObject: one object from the drag's entering to its drop or leaving, so a file list reduced
// in OLEDragOver is the list OLEDragDrop sees. Only local files are files: other addresses of the
// drag are left out. In a handler, DataObjectOf(Data) gives the object back.
#include <cstdint>
#include <string>
#include <vector>

#include "core/unknown.h"
#include "core/variant.h"

enum OLEDropConstants : int16_t { vbOLEDropNone = 0, vbOLEDropManual = 1 };
enum OLEDropEffectConstants : int32_t { vbDropEffectNone = 0, vbDropEffectCopy = 1 };
enum ClipBoardConstants : int16_t { vbCFText = 1, vbCFFiles = 15 };

// The file list of a DataObject: Item from 1 to Count, in the dragging program's order.
class DataObjectFiles {
 public:
  int32_t Count() const { return static_cast<int32_t>(files_.size()); }
  // Raises 9 outside 1..Count.
  std::string Item(int32_t index) const;
  void Clear() { files_.clear(); }
  // Appends, or inserts before the 1-based index (Count + 1 appends); raises 9 outside 1..Count+1.
  void Add(const std::string& file, int32_t index = -1);

 private:
  std::vector<std::string> files_;
};

class DataObject : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{3A0E4C1F-8B27-4D15-A6E3-5F21C9D07B44}");
  // Whether the data holds the format: vbCFFiles (a non-empty file list) or vbCFText.
  virtual bool GetFormat(int16_t format) const = 0;
  virtual DataObjectFiles& Files() = 0;
  // The text the drag carries ("" when none).
  virtual std::string Text() const = 0;
};

// A new DataObject with the files and text (for tests and for drags made in code); as an object
// Variant it answers late-bound GetFormat, GetData (text), and Files (Count, Item, Clear, Add,
// Remove).
ComPtr<DataObject> MakeDataObject(std::vector<std::string> files, std::string text = {});
// The DataObject an event argument holds; raises 13 for anything else.
DataObject& DataObjectOf(const Variant& arg);
// The object as an event argument.
Variant DataObjectVariant(DataObject* data);
