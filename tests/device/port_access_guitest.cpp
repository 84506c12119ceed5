// The download dialog after a port search that found only ports refusing us:
// the not-found box, then a box naming the refused port and the way to access.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include "device/port_access.h"
#include "device/download_dialog.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"

namespace {

QString g_refusedPath;

int refusingOpen(const char* path, int flags) {
  if (QString::fromLocal8Bit(path) == g_refusedPath) {
    errno = EACCES;
    return -1;
  }
  return ::open(path, flags);
}

void setCom(int n, const QString& path) {
  qputenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData(), path.toLocal8Bit());
}

TEST(PortAccessDialog, RefusedPortGetsItsOwnBoxAfterNotFound) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  g_refusedPath = QString::fromLocal8Bit(ptsname(master));
  for (int n = 1; n <= 38; ++n) setCom(n, QStringLiteral("/nonexistent/hygrovan-com%1").arg(n));
  setCom(2, g_refusedPath);
  hv::setSerialOpenFunction(&refusingOpen);
  hv::test::ScriptedUserInteraction ui;
  hv::setUserInteraction(&ui);

  {
    hv::DownloadDialog form;
    EXPECT_EQ(form.exec(), hv::mrCancel);
  }
  const auto messages = ui.messages();
  ASSERT_EQ(messages.size(), 2);
  EXPECT_EQ(messages[0].text,
            QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!"));
  EXPECT_EQ(messages[1].caption, QStringLiteral("Ошибка"));
  EXPECT_EQ(messages[1].icon, hv::MsgIcon::Error);
  EXPECT_EQ(messages[1].text,
            hv::portAccessAdvice({{g_refusedPath, hv::owningGroup(g_refusedPath)}}, hv::currentUserName()));

  hv::setUserInteraction(nullptr);
  hv::setSerialOpenFunction(nullptr);
  hv::clearRefusedPorts();
  for (int n = 1; n <= 38; ++n) qunsetenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
  ::close(master);
}

}  // namespace
