// The network folder dialog: the responder asks for an address, gio mounts it.
#include "forms/netdialog.h"

#include <QProcess>

#include "core/msgbox.h"
#include "forms/responder.h"
#include "forms_internal.h"

using namespace forms_detail;

namespace {

// A mount that takes longer than this (a server that does not answer) is given up.
constexpr int kMountTimeoutMs = 120000;

// Mounts the address; "" when it is mounted, else the text to show.
std::string Mount(const std::string& address) {
  QProcess gio;
  gio.setProgram("gio");
  // An address that starts with "-" is no option of gio's.
  gio.setArguments({"mount", Q(address[0] == '-' ? "./" + address : address)});
  // gio asks for user names and passwords on its input: it gets none and reports the refusal.
  gio.setStandardInputFile(QProcess::nullDevice());
  gio.start();
  if (!gio.waitForStarted()) {
    return "The network folder cannot be connected: the program gio (package libglib2.0-bin) is not installed.";
  }
  if (!gio.waitForFinished(kMountTimeoutMs)) {
    gio.kill();
    gio.waitForFinished();
    return "The network folder " + address + " did not answer.";
  }
  if (gio.exitStatus() == QProcess::NormalExit && gio.exitCode() == 0) return {};
  QString text = QString::fromUtf8(gio.readAllStandardError()).trimmed();
  if (text.isEmpty()) text = QString::fromUtf8(gio.readAllStandardOutput()).trimmed();
  if (text.isEmpty()) text = QString("gio mount %1 failed.").arg(Q(address));
  return S(text);
}

}  // namespace

uint32_t WNetConnectionDialog(HWND owner, uint32_t type) {
  if (type != RESOURCETYPE_DISK) return ERROR_NOT_SUPPORTED_RESULT;
  DialogRequest r;
  r.kind = DialogKind::Network;
  r.title = "Connect Network Folder";
  r.prompt = "Folder (for example smb://server/share or sftp://server/path):";
  r.owner = owner;
  std::shared_ptr<Responder> responder = CurrentResponder();
  DialogAnswer a = responder->Dialog(r);
  if (!a.accepted) return WNET_CANCELLED;
  QString address = Q(a.text).trimmed();
  if (address.isEmpty()) return WNET_CANCELLED;
  std::string error = Mount(S(address));
  if (error.empty()) return NO_ERROR_RESULT;
  MsgBox(error, vbOKOnly);
  return ERROR_EXTENDED_ERROR_RESULT;
}
