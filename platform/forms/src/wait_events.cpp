// DoEventsWaiting: one blocking turn of the event loop, then DoEvents.
#include "forms/waitevents.h"

#include <QEventLoop>
#include <QTimer>

#include "forms/app.h"
#include "forms/qt/hwnd_qt.h"

int16_t DoEventsWaiting(int32_t maxMilliseconds) {
  forms_detail::EnsureApplication();
  forms_detail::DrainThreadMessages();
  QTimer limit;
  limit.setSingleShot(true);
  limit.start(maxMilliseconds > 0 ? maxMilliseconds : 0);
  QEventLoop loop;
  loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  return DoEvents();
}
