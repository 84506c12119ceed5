// Ports refused for lack of permission: what is noted while opening, the group
// that owns a device, and the advice the user is given.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "device/port_access.h"
#include "device/serial_backend.h"
#include "device_test_support.h"
#include "support/test_support.h"

using namespace hv;

namespace {

QString refusedPath;

int refusingOpen(const char* path, int flags) {
  if (QString::fromLocal8Bit(path) == refusedPath) {
    errno = EACCES;
    return -1;
  }
  return ::open(path, flags);
}

class PortAccess : public ::testing::Test {
 protected:
  void SetUp() override { clearRefusedPorts(); }
  void TearDown() override {
    setSerialOpenFunction(nullptr);
    clearRefusedPorts();
  }
};

TEST_F(PortAccess, OnlyPermissionRefusalsAreNotedEachOnce) {
  test::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  refusedPath = pty.slavePath();
  setSerialOpenFunction(&refusingOpen);

  auto backend = createPlatformSerialBackend();
  EXPECT_FALSE(backend->open(refusedPath));
  EXPECT_FALSE(backend->open(refusedPath));
  EXPECT_FALSE(backend->open(test::testPath(QStringLiteral("no-such-port"))));  // ENOENT: not a refusal
  EXPECT_EQ(refusedPortPaths(), QStringList{refusedPath});

  clearRefusedPorts();
  setSerialOpenFunction(nullptr);
  // Root or the owner of the pty: the real open goes through and notes nothing.
  EXPECT_TRUE(backend->open(refusedPath));
  backend->close();
  EXPECT_TRUE(refusedPortPaths().isEmpty());
  EXPECT_TRUE(portAccessAdvice().isEmpty());
}

TEST_F(PortAccess, OwningGroupIsTheDevicesGroup) {
  test::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  struct stat st {};
  ASSERT_EQ(::stat(pty.slavePath().toLocal8Bit().constData(), &st), 0);
  const group* g = getgrgid(st.st_gid);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(owningGroup(pty.slavePath()), QString::fromLocal8Bit(g->gr_name));
  EXPECT_EQ(owningGroup(test::testPath(QStringLiteral("missing"))), QString());

  refusedPath = pty.slavePath();
  setSerialOpenFunction(&refusingOpen);
  EXPECT_LT(openSerialDevice(refusedPath, O_RDWR), 0);
  const QList<RefusedPort> ports = refusedPorts();
  ASSERT_EQ(ports.size(), 1);
  EXPECT_EQ(ports[0].group, QString::fromLocal8Bit(g->gr_name));
  EXPECT_TRUE(portAccessAdvice().contains(refusedPath));
  EXPECT_FALSE(currentUserName().isEmpty());
}

TEST_F(PortAccess, AdviceNamesPortsGroupsAndTheCommand) {
  EXPECT_EQ(portAccessAdvice({}, QStringLiteral("ivan")), QString());

  EXPECT_EQ(portAccessAdvice({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout")}}, QStringLiteral("ivan")),
            QStringLiteral("Нет прав на чтение и запись порта /dev/ttyUSB0. Порт принадлежит группе dialout.\n"
                           "Чтобы получить доступ, включите пользователя ivan в эту группу командой\n"
                           "sudo usermod -aG dialout ivan\n"
                           "и войдите в систему заново."));

  const QString two = portAccessAdvice({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout")},
                                        {QStringLiteral("/dev/ttyACM0"), QStringLiteral("dialout")}},
                                       QStringLiteral("ivan"));
  EXPECT_TRUE(two.startsWith(QStringLiteral("Нет прав на чтение и запись портов /dev/ttyUSB0, /dev/ttyACM0. "
                                            "Порты принадлежат группе dialout.")))
      << two.toStdString();
  EXPECT_TRUE(two.contains(QStringLiteral("sudo usermod -aG dialout ivan\n")));

  // Ports of different groups: each says its own, the command joins them.
  const QString mixed = portAccessAdvice({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout")},
                                          {QStringLiteral("/dev/ttyS0"), QStringLiteral("uucp")}},
                                         QStringLiteral("ivan"));
  EXPECT_TRUE(mixed.contains(QStringLiteral("/dev/ttyUSB0 (группа dialout), /dev/ttyS0 (группа uucp)")));
  EXPECT_TRUE(mixed.contains(QStringLiteral("в группы dialout, uucp командой\nsudo usermod -aG dialout,uucp ivan\n")));

  // A group that cannot be found out: no command to guess, the administrator grants access.
  const QString unknown = portAccessAdvice({{QStringLiteral("/dev/ttyUSB3"), QString()}}, QString());
  EXPECT_TRUE(unknown.contains(QStringLiteral("/dev/ttyUSB3")));
  EXPECT_FALSE(unknown.contains(QStringLiteral("usermod")));
  EXPECT_TRUE(unknown.contains(QStringLiteral("администратор")));
  const QString partly = portAccessAdvice({{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout")},
                                           {QStringLiteral("/dev/ttyUSB3"), QString()}},
                                          QString());
  EXPECT_TRUE(partly.contains(QStringLiteral("в группу dialout командой\nsudo usermod -aG dialout ИМЯ_ПОЛЬЗОВАТЕЛЯ\n")))
      << partly.toStdString();
  EXPECT_TRUE(partly.contains(QStringLiteral("остальным портам")));
}

}  // namespace
