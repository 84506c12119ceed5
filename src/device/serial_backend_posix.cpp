// The serial backend on termios.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QString>

#include "device/port_access.h"
#include "device/port_names.h"
#include "device/serial_backend.h"

namespace hv {

namespace {

speed_t speedConstant(std::uint32_t baud, bool* ok) {
  *ok = true;
  switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: *ok = false; return B0;
  }
}

class PosixSerialBackend : public SerialBackend {
 public:
  ~PosixSerialBackend() override { close(); }

  bool open(const std::string& portName) override {
    if (fd_ >= 0) return true;
    const QString path = devicePathForPort(QString::fromStdString(portName));
    if (path.isEmpty()) return fail(SerialFault::NoSuchPort, ENOENT);
    const int fd = openSerialDevice(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(openFault(errno), errno);
    termios t{};
    // Serial devices only; the lock keeps a second opener out even where
    // TIOCEXCL does not (a privileged process).
    if (tcgetattr(fd, &t) != 0) return failClosing(fd, SerialFault::Other);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) errno = EBUSY;
      return failClosing(fd, openFault(errno));
    }
    if (ioctl(fd, TIOCEXCL) != 0) return failClosing(fd, SerialFault::Other);
    fd_ = fd;
    return true;
  }

  void close() override {
    if (fd_ < 0) return;
    // Exclusive mode belongs to the tty, not to this descriptor: lift it so
    // the next open succeeds while someone else still holds the device.
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }

  bool isOpen() const override { return fd_ >= 0; }

  bool setLineSettings(const SerialLineSettings& s) override {
    if (fd_ < 0) return false;
    bool ok = false;
    const speed_t speed = speedConstant(s.baudRate, &ok);
    if (!ok) return fail(SerialFault::Other, EINVAL);
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return fail(SerialFault::Other, errno);
    cfmakeraw(&t);
    t.c_iflag &= ~(INPCK | ISTRIP | IXON | IXOFF | IXANY | IGNPAR | PARMRK);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (s.dataBits < 5 || s.dataBits > 8) return fail(SerialFault::Other, EINVAL);
    t.c_cflag |= sizes[s.dataBits - 5];
    if (s.stopBits != 0) t.c_cflag |= CSTOPB;  // 1.5 and 2 alike, as the UART does
    switch (s.parity) {
      case 1: t.c_cflag |= PARENB | PARODD; break;
      case 2: t.c_cflag |= PARENB; break;
      case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case 4: t.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    if (s.rts == RtsControl::Handshake) t.c_cflag |= CRTSCTS;
    if (s.xonXoff) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = cc_t(s.xonChar);
    t.c_cc[VSTOP] = cc_t(s.xoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd_, TCSANOW, &t) != 0) return fail(SerialFault::Other, errno);
    // A pseudo-terminal has no modem lines: nothing to set there.
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) == 0) {
      int bit = TIOCM_DTR;
      ioctl(fd_, s.dtr ? TIOCMBIS : TIOCMBIC, &bit);
      bit = TIOCM_RTS;
      if (s.rts != RtsControl::Handshake) ioctl(fd_, s.rts == RtsControl::On ? TIOCMBIS : TIOCMBIC, &bit);
    }
    return true;
  }

  bool purge(bool input, bool output) override {
    if (fd_ < 0) return false;
    if (!input && !output) return true;
    if (tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) == 0) return true;
    return fail(SerialFault::Other, errno);
  }

  // The kernel sizes its own queues; the driver never reads more than its buffer.
  bool setQueueSizes(std::uint32_t, std::uint32_t) override { return fd_ >= 0; }

  // The descriptor is non-blocking; write() bounds its own wait.
  void setTimeouts() override {}

  bool queueCounts(std::uint32_t* input, std::uint32_t* output) override {
    if (fd_ < 0) return false;
    // A hung-up line still answers the queue query (with nothing queued), so
    // the hang-up is looked for first.
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
      return fail(SerialFault::LineLost, EIO);
    int in = 0, out = 0;
    if (ioctl(fd_, FIONREAD, &in) != 0) return fail(SerialFault::LineLost, errno);
    if (ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
    *input = std::uint32_t(in > 0 ? in : 0);
    *output = std::uint32_t(out > 0 ? out : 0);
    return true;
  }

  std::int64_t read(void* data, std::uint32_t count) override {
    if (fd_ < 0) return -1;
    for (;;) {
      const ssize_t n = ::read(fd_, data, count);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      fail(SerialFault::LineLost, errno);
      return -1;
    }
  }

  std::int64_t write(const void* data, std::uint32_t count) override {
    if (fd_ < 0) return -1;
    const std::uint32_t start = tickCount();
    const char* p = static_cast<const char*>(data);
    std::uint32_t sent = 0;
    while (sent < count) {
      const ssize_t n = ::write(fd_, p + sent, count - sent);
      if (n > 0) {
        sent += std::uint32_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        fail(SerialFault::LineLost, errno);
        return sent > 0 ? std::int64_t(sent) : -1;
      }
      const std::uint32_t elapsed = tickCount() - start;
      if (elapsed >= kWriteTimeoutMs) break;
      pollfd pfd{fd_, POLLOUT, 0};
      ::poll(&pfd, 1, int(kWriteTimeoutMs - elapsed));
    }
    return sent;
  }

  bool modemStatus(unsigned* lines) override {
    if (fd_ < 0) return false;
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) return fail(SerialFault::Other, errno);
    unsigned r = 0;
    if (bits & TIOCM_CTS) r |= lsCTS;
    if (bits & TIOCM_DSR) r |= lsDSR;
    if (bits & TIOCM_RNG) r |= lsRING;
    if (bits & TIOCM_CAR) r |= lsRLSD;
    *lines = r;
    return true;
  }

  SerialError lastError() const override { return error_; }

  std::uint32_t tickCount() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint32_t(std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u);
  }

 private:
  static SerialFault openFault(int e) {
    switch (e) {
      case ENOENT:
      case ENODEV:
      case ENXIO: return SerialFault::NoSuchPort;
      case EACCES:
      case EPERM: return SerialFault::AccessDenied;
      case EBUSY: return SerialFault::Busy;
      default: return SerialFault::Other;
    }
  }
  bool fail(SerialFault fault, int e) {
    error_ = {fault, e, std::strerror(e)};
    return false;
  }
  bool failClosing(int fd, SerialFault fault) {
    const int e = errno;
    ::close(fd);
    return fail(fault, e);
  }

  static constexpr std::uint32_t kWriteTimeoutMs = 10;
  int fd_ = -1;
  SerialError error_;
};

}  // namespace

std::unique_ptr<SerialBackend> createPlatformSerialBackend() { return std::make_unique<PosixSerialBackend>(); }

}  // namespace hv
