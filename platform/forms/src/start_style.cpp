// The show style a program was started with applies to the first window it shows.
#include <QWidget>
#include <atomic>

#include "forms_internal.h"
#include "shell/process.h"

namespace forms_detail {

bool ShowFirstWindow(QWidget* window) {
  static std::atomic<bool> shown{false};
  if (shown.exchange(true)) return false;
  switch (StartupWindowStyle()) {
    case vbHide:
      return true;
    case vbMinimizedFocus:
      window->showMinimized();
      window->activateWindow();
      return true;
    case vbMinimizedNoFocus:
      window->setAttribute(Qt::WA_ShowWithoutActivating, true);
      window->showMinimized();
      window->setAttribute(Qt::WA_ShowWithoutActivating, false);
      return true;
    case vbMaximizedFocus:
      window->showMaximized();
      window->activateWindow();
      return true;
    case vbNormalNoFocus:
      window->setAttribute(Qt::WA_ShowWithoutActivating, true);
      window->show();
      window->setAttribute(Qt::WA_ShowWithoutActivating, false);
      return true;
    default:
      return false;
  }
}

}  // namespace forms_detail
