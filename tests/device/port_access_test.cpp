// Ports refused for lack of permission: what is noted while opening, the group
// that owns a device, the advice the user is given after a fruitless port
// search, and the same advice from `hygrovan-cli download`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

#include "device/download_exchange.h"
#include "device/port_access.h"
#include "device/serial_backend.h"
#include "device_test_support.h"
#include "support/test_support.h"

using namespace hv;

namespace {

QString g_refusedPath;

int refusingOpen(const char* path, int flags) {
  if (QString::fromLocal8Bit(path) == g_refusedPath) {
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
  g_refusedPath = pty.slavePath();
  setSerialOpenFunction(&refusingOpen);

  auto backend = createPlatformSerialBackend();
  EXPECT_FALSE(backend->open(g_refusedPath.toStdString()));
  EXPECT_FALSE(backend->open(g_refusedPath.toStdString()));
  EXPECT_FALSE(backend->open(test::testPath(QStringLiteral("no-such-port")).toStdString()));  // ENOENT: not a refusal
  EXPECT_EQ(refusedPortPaths(), QStringList{g_refusedPath});

  clearRefusedPorts();
  setSerialOpenFunction(nullptr);
  // Root or the owner of the pty: the real open goes through and notes nothing.
  EXPECT_TRUE(backend->open(g_refusedPath.toStdString()));
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

  g_refusedPath = pty.slavePath();
  setSerialOpenFunction(&refusingOpen);
  EXPECT_LT(openSerialDevice(g_refusedPath, O_RDWR), 0);
  const QList<RefusedPort> ports = refusedPorts();
  ASSERT_EQ(ports.size(), 1);
  EXPECT_EQ(ports[0].group, QString::fromLocal8Bit(g->gr_name));
  EXPECT_TRUE(portAccessAdvice().contains(g_refusedPath));
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

const QString kNotFound = QStringLiteral("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!");

class RefusedSearch : public PortAccess {
 protected:
  void SetUp() override {
    PortAccess::SetUp();
    test::isolateComPorts();
  }
  void TearDown() override {
    for (int n = 1; n <= 38; ++n) qunsetenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
    PortAccess::TearDown();
  }
};

TEST_F(RefusedSearch, SecondMessageNamesTheRefusedPortsAfterNotFound) {
  test::PtyPair first;
  ASSERT_TRUE(first.ok());
  test::setComPort(3, first.slavePath());
  g_refusedPath = first.slavePath();
  setSerialOpenFunction(&refusingOpen);
  {
    DownloadExchange e;
    test::ExchangeLog log(e);
    ASSERT_EQ(test::runExchange(e, log), mrCancel);
    ASSERT_EQ(log.errors.size(), 2);
    EXPECT_EQ(log.errors[0].second, kNotFound);
    EXPECT_EQ(log.errors[1].first, QStringLiteral("Ошибка"));
    EXPECT_EQ(log.errors[1].second,
              portAccessAdvice({{first.slavePath(), owningGroup(first.slavePath())}}, currentUserName()));
    EXPECT_TRUE(log.errors[1].second.contains(first.slavePath()));
  }
  // The next exchange starts afresh: a port that opens but stays silent refuses nothing.
  setSerialOpenFunction(nullptr);
  {
    DownloadExchange e;
    test::ExchangeLog log(e);
    ASSERT_EQ(test::runExchange(e, log), mrCancel);
    ASSERT_EQ(log.errors.size(), 1);
    EXPECT_EQ(log.errors[0].second, kNotFound);
  }
}

// The cli run as a user the pseudo-terminal refuses (root is never refused).
TEST_F(PortAccess, CliExplainsARefusedPort) {
  test::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  QString program = test::toolPath(QStringLiteral("hygrovan-cli"));
  QStringList args = {QStringLiteral("download"), QStringLiteral("--port"), pty.slavePath(), QStringLiteral("--image"),
                      test::testPath(QStringLiteral("image.bin"))};
  if (geteuid() == 0) {
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) GTEST_SKIP() << "setpriv (util-linux) is needed to drop root";
    args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                       program} + args;
    program = setpriv;
  } else {
    ASSERT_EQ(::chmod(pty.slavePath().toLocal8Bit().constData(), 0), 0);
  }
  const auto r = test::runProcess(program, args, 30000);
  EXPECT_EQ(r.exitCode, 1) << r.err.constData();
  const QString err = QString::fromUtf8(r.err);
  EXPECT_TRUE(err.contains(QStringLiteral("Не удалось открыть порт %1.").arg(pty.slavePath()))) << r.err.constData();
  EXPECT_TRUE(err.contains(QStringLiteral("Нет прав на чтение и запись порта %1.").arg(pty.slavePath())))
      << r.err.constData();
  const QString group = owningGroup(pty.slavePath());
  if (!group.isEmpty()) {
    EXPECT_TRUE(err.contains(QStringLiteral("sudo usermod -aG %1 ").arg(group))) << r.err.constData();
  }
  EXPECT_FALSE(QFileInfo::exists(test::testPath(QStringLiteral("image.bin"))));
}

}  // namespace
