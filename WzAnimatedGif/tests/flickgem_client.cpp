// Another program that uses the animated-GIF library: creates the control and its property page
// by their ProgIDs through the registry and prints what it got.
#include <QApplication>
#include <cstdio>

#include "com/com.h"
#include "com/dispatch.h"
#include "com/propertypages.h"
#include "core/error.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CoInitialize();
  try {
    {
      ComPtr<IDispatch> gif = CreateObject<IDispatch>("WzAnimatedGif.Flickgem");
      std::printf("Flickgem NumberOfPlays=%d\n", CallByName(gif.Get(), "NumberOfPlays", DISPATCH_PROPERTYGET).i4());
      ComPtr<IUnknown> page = CreateObject<IUnknown>("WzAnimatedGif.General");
      ComPtr<IPropertyPage> pp;
      std::printf("General IPropertyPage=%s\n",
                  SUCCEEDED(page->QueryInterface(IPropertyPage::iid, pp.put_void())) ? "yes" : "no");
    }
  } catch (const VBError& e) {
    std::fprintf(stderr, "%d %s\n", e.Number(), e.Description().c_str());
    return 1;
  }
  CoUninitialize();
  return 0;
}
