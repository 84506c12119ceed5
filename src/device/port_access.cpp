#include "device/port_access.h"

#include <cerrno>

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace hv {

namespace {

QStringList& refused() {
  static QStringList list;
  return list;
}

SerialOpenFunction& openFunction() {
  static SerialOpenFunction f = nullptr;
  return f;
}

}  // namespace

void setSerialOpenFunction(SerialOpenFunction function) { openFunction() = function; }

void clearRefusedPorts() { refused().clear(); }

QStringList refusedPortPaths() { return refused(); }

int openSerialDevice(const QString& path, int flags) {
  const QByteArray native = path.toLocal8Bit();
  int fd = -1;
  if (openFunction()) {
    fd = openFunction()(native.constData(), flags);
  } else {
#ifndef _WIN32
    fd = ::open(native.constData(), flags);
#else
    errno = ENOENT;
#endif
  }
  if (fd < 0) {
    const int e = errno;
    if ((e == EACCES || e == EPERM) && !refused().contains(path)) refused().append(path);
    errno = e;
  }
  return fd;
}

QString owningGroup(const QString& path) {
#ifndef _WIN32
  struct stat st {};
  if (::stat(path.toLocal8Bit().constData(), &st) != 0) return QString();
  long size = sysconf(_SC_GETGR_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
  group g{};
  group* found = nullptr;
  while (getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) == ERANGE && buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (found && found->gr_name) return QString::fromLocal8Bit(found->gr_name);
  return QString();
#else
  Q_UNUSED(path);
  return QString();
#endif
}

QList<RefusedPort> refusedPorts() {
  QList<RefusedPort> ports;
  for (const QString& path : refused()) ports.append({path, owningGroup(path)});
  return ports;
}

QString currentUserName() {
#ifndef _WIN32
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
    return QString::fromLocal8Bit(found->pw_name);
#endif
  const QString user = qEnvironmentVariable("USER");
  return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

QString portAccessAdvice(const QList<RefusedPort>& ports, const QString& userName) {
  if (ports.isEmpty()) return QString();
  QStringList groups;
  bool groupUnknown = false;
  for (const RefusedPort& p : ports) {
    if (p.group.isEmpty())
      groupUnknown = true;
    else if (!groups.contains(p.group))
      groups.append(p.group);
  }

  QStringList names;
  for (const RefusedPort& p : ports) {
    // With ports of several groups each one says its own.
    if (groups.size() > 1 && !p.group.isEmpty())
      names.append(QStringLiteral("%1 (группа %2)").arg(p.path, p.group));
    else
      names.append(p.path);
  }
  const bool several = ports.size() > 1;
  QString text = (several ? QStringLiteral("Нет прав на чтение и запись портов %1.")
                          : QStringLiteral("Нет прав на чтение и запись порта %1."))
                     .arg(names.join(QStringLiteral(", ")));

  const QString user = userName.isEmpty() ? QStringLiteral("ИМЯ_ПОЛЬЗОВАТЕЛЯ") : userName;
  if (groups.size() == 1 && !groupUnknown) {
    text += (several ? QStringLiteral(" Порты принадлежат группе %1.") : QStringLiteral(" Порт принадлежит группе %1."))
                .arg(groups.first());
  }
  if (!groups.isEmpty()) {
    text += QStringLiteral(
                "\nЧтобы получить доступ, включите пользователя %1 в %2 командой\n"
                "sudo usermod -aG %3 %1\n"
                "и войдите в систему заново.")
                .arg(user,
                     groups.size() == 1 && !groupUnknown ? QStringLiteral("эту группу")
                     : groups.size() == 1 ? QStringLiteral("группу %1").arg(groups.first())
                                          : QStringLiteral("группы %1").arg(groups.join(QStringLiteral(", "))),
                     groups.join(QChar(',')));
  }
  if (groupUnknown)
    text += QStringLiteral("\nДоступ к %1 выдаёт администратор компьютера.")
                .arg(groups.isEmpty() ? (several ? QStringLiteral("этим портам") : QStringLiteral("этому порту"))
                                      : QStringLiteral("остальным портам"));
  return text;
}

QString portAccessAdvice() { return portAccessAdvice(refusedPorts(), currentUserName()); }

}  // namespace hv
