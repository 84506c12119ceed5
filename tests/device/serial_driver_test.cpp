// The serial port driver on pseudo-terminal pairs.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>
#include <fcntl.h>

#include <QElapsedTimer>

#include "device/serial_driver.h"
#include "device_test_support.h"

using namespace hv;
using hv::test::PtyPair;

namespace {

struct Received {
  int events = 0;
  QByteArray bytes;
  QList<quint32> sizes;
};

void record(TSerialPortDriver& d, Received& r) {
  d.OnReceiveData = [&r](TSerialPortDriver*, const quint8* data, quint32 size) {
    ++r.events;
    r.sizes << size;
    r.bytes.append(reinterpret_cast<const char*>(data), size);
  };
}

// A backend that is never ready, notes what the driver asks of it, and whose
// clock starts just before it wraps.
class FakeBackend : public SerialBackend {
 public:
  mutable quint32 now = 0xFFFFFFF0u;
  SerialLineSettings settings;
  int applied = 0, purges = 0;
  quint32 inQueue = 0, outQueue = 0;
  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool setLineSettings(const SerialLineSettings& s) override {
    settings = s;
    ++applied;
    return true;
  }
  bool purge(bool in, bool out) override {
    purges += in && out;
    return true;
  }
  bool setQueueSizes(quint32 in, quint32 out) override {
    inQueue = in;
    outQueue = out;
    return true;
  }
  void setTimeouts() override {}
  bool queueCounts(quint32* in, quint32* out) override {
    *in = 0;
    *out = 4096;  // output queue full: nothing can be written
    return true;
  }
  std::int64_t read(void*, quint32) override { return 0; }
  std::int64_t write(const void*, quint32) override { return 0; }
  bool modemStatus(unsigned* lines) override {
    *lines = 0;
    return true;
  }
  SerialError lastError() const override { return {}; }
  quint32 tickCount() const override { return now++; }

 private:
  bool open_ = false;
};

}  // namespace

TEST(SerialDriver, PropertyRulesAndClamping) {
  TSerialPortDriver d;
  EXPECT_EQ(d.Port(), portCOM2);
  EXPECT_EQ(d.PortName(), QStringLiteral("\\\\.\\COM2"));
  EXPECT_EQ(d.InBufSize(), 2048u);
  EXPECT_EQ(d.PollingDelay(), 50);
  d.setPort(portCOM5);
  EXPECT_EQ(d.PortName(), QStringLiteral("\\\\.\\COM5"));
  d.setPortName(QStringLiteral("/dev/null"));
  EXPECT_EQ(d.Port(), portCustom);
  d.setPort(portCustom);
  EXPECT_EQ(d.PortName(), QStringLiteral("/dev/null"));

  d.setInBufSize(100);
  EXPECT_EQ(d.InBufSize(), 128u);
  d.setInBufSize(10000);
  EXPECT_EQ(d.InBufSize(), 8192u);
  d.setOutBufSize(100);
  EXPECT_EQ(d.OutBufSize(), 128u);
  d.setOutBufSize(10000);
  EXPECT_EQ(d.OutBufSize(), 8192u);
  d.setPollingDelay(0);
  EXPECT_EQ(d.PollingDelay(), 5);

  d.setBaudRate(baud19200);
  EXPECT_EQ(d.BaudRateValue(), 19200u);
  d.setBaudRateValue(9600);
  EXPECT_EQ(d.BaudRate(), baudCustom);
  EXPECT_EQ(d.BaudRateValue(), 9600u);
}

TEST(SerialDriver, OpenCloseExclusiveAndNames) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TSerialPortDriver d;
  d.setPortName(QStringLiteral("/nonexistent/port"));
  EXPECT_FALSE(d.OpenPort());
  EXPECT_FALSE(d.IsOpen());
  EXPECT_EQ(d.lastError().fault, SerialFault::NoSuchPort);
  // A plain file is no serial port.
  d.setPortName(QStringLiteral("/etc/hostname"));
  EXPECT_FALSE(d.OpenPort());

  d.setPortName(pty.slavePath());
  ASSERT_TRUE(d.OpenPort());
  EXPECT_TRUE(d.IsOpen());
  EXPECT_TRUE(d.OpenPort());  // already open: true, nothing else

  // Names can't change while open.
  d.setPortName(QStringLiteral("/other"));
  d.setPort(portCOM3);
  EXPECT_EQ(d.PortName(), pty.slavePath());
  d.setInBufSize(512);
  EXPECT_EQ(d.InBufSize(), 2048u);

  // A second driver can't have the same port until the first lets go.
  TSerialPortDriver second;
  second.setPortName(pty.slavePath());
  EXPECT_FALSE(second.OpenPort());
  EXPECT_EQ(second.lastError().fault, SerialFault::Busy);
  EXPECT_FALSE(second.lastError().text.empty());
  d.ClosePort();
  EXPECT_FALSE(d.IsOpen());
  EXPECT_TRUE(second.OpenPort());
  second.ClosePort();
  // And again after a close: exclusive mode does not outlive the opener.
  EXPECT_TRUE(d.OpenPort());
}

TEST(SerialDriver, MeterLineSettingsOnAPseudoTerminal) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TSerialPortDriver d;
  d.setPortName(pty.slavePath());
  d.setStopBits(stop2);
  d.EnableDTROnOpen = false;
  ASSERT_TRUE(d.OpenPort());
  // The settings belong to the terminal: read them through the pair's own
  // descriptor. A pseudo-terminal keeps speed and modes (not the character frame).
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | INPCK | ICRNL));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_EQ(t.c_cc[VMIN], 0);
}

TEST(SerialDriver, LineSettingsOfTheMeterAndReapplyWhileOpen) {
  auto backend = std::make_unique<FakeBackend>();
  FakeBackend* fake = backend.get();
  TSerialPortDriver d(std::move(backend));
  d.setStopBits(stop2);
  d.setInBufSize(4096);
  d.setOutBufSize(4096);
  d.EnableDTROnOpen = false;
  EXPECT_EQ(fake->applied, 0);  // closed: nothing applied
  ASSERT_TRUE(d.OpenPort());
  EXPECT_EQ(fake->applied, 1);
  EXPECT_EQ(fake->purges, 1);
  EXPECT_EQ(fake->settings.baudRate, 9600u);
  EXPECT_EQ(fake->settings.dataBits, 8);
  EXPECT_EQ(fake->settings.parity, 0);
  EXPECT_EQ(fake->settings.stopBits, 2);
  EXPECT_FALSE(fake->settings.dtr);
  EXPECT_EQ(fake->settings.rts, RtsControl::On);
  EXPECT_FALSE(fake->settings.xonXoff);
  EXPECT_EQ(fake->settings.xonLimit, 1024u);
  EXPECT_EQ(fake->inQueue, 4096u);
  EXPECT_EQ(fake->outQueue, 4096u);

  // Line setters apply again at once, queues flushed each time.
  d.setParity(parityEven);
  d.setHwFlow(hwRtsCts);
  d.setBaudRate(baud19200);
  EXPECT_EQ(fake->applied, 4);
  EXPECT_EQ(fake->purges, 4);
  EXPECT_EQ(fake->settings.parity, 2);
  EXPECT_EQ(fake->settings.rts, RtsControl::Handshake);
  EXPECT_EQ(fake->settings.baudRate, 19200u);
  // The poll period changes while open; the queue sizes do not.
  d.setPollingDelay(20);
  EXPECT_EQ(d.PollingDelay(), 20);
  d.setOutBufSize(128);
  EXPECT_EQ(d.OutBufSize(), 4096u);
}

TEST(SerialDriver, PollDeliversWhatArrivedInOneEventUntilTheLineIsLost) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TSerialPortDriver d;
  d.setPortName(pty.slavePath());
  Received r;
  record(d, r);
  QList<SerialFault> lost;
  d.onLineLost = [&](TSerialPortDriver* sender, const SerialError& e) {
    EXPECT_FALSE(sender->IsOpen());
    lost << e.fault;
  };
  ASSERT_TRUE(d.OpenPort());
  hv::test::spin(120);
  EXPECT_EQ(r.events, 0);  // nothing queued, no event
  pty.write("abc");
  hv::test::spin(150);
  EXPECT_EQ(r.events, 1);
  ASSERT_EQ(r.sizes.size(), 1);
  EXPECT_EQ(r.sizes.first(), 3u);
  EXPECT_EQ(r.bytes, QByteArray("abc"));

  // A poll never reads more than the receive buffer holds.
  d.ClosePort();
  d.setInBufSize(128);
  r = {};
  ASSERT_TRUE(d.OpenPort());
  pty.write(QByteArray(300, 'x'));
  hv::test::spin(400);
  EXPECT_EQ(r.bytes.size(), 300);
  for (quint32 s : r.sizes) EXPECT_LE(s, 128u);

  // Closed: no more events.
  d.ClosePort();
  r = {};
  pty.write("late");
  hv::test::spin(120);
  EXPECT_EQ(r.events, 0);
  EXPECT_TRUE(lost.isEmpty());

  // The device's end hung up: the port closes and says so, once.
  ASSERT_TRUE(d.OpenPort());
  pty.hangUp();
  d.poll();
  EXPECT_EQ(lost, QList<SerialFault>{SerialFault::LineLost});
  EXPECT_FALSE(d.IsOpen());
  EXPECT_EQ(d.lastError().fault, SerialFault::LineLost);
  d.poll();
  EXPECT_EQ(lost.size(), 1);
}

TEST(SerialDriver, ReadByteWaitsSuspendsThePollAndTimesOut) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  TSerialPortDriver d;
  d.setPortName(pty.slavePath());
  Received r;
  record(d, r);
  ASSERT_TRUE(d.OpenPort());

  quint8 b = 0;
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(d.ReadByte(b));
  const qint64 waited = t.elapsed();
  EXPECT_GE(waited, 200);
  EXPECT_LT(waited, 600);
  EXPECT_EQ(d.pollSuspension(), 0);

  // A byte that is there goes to ReadByte, not to the event.
  pty.write("Z");
  usleep(20000);
  EXPECT_TRUE(d.ReadByte(b));
  EXPECT_EQ(b, 'Z');
  hv::test::spin(120);
  EXPECT_EQ(r.events, 0);

  // Writes reach the other end.
  EXPECT_TRUE(d.WriteByte('V'));
  EXPECT_EQ(pty.read(1), QByteArray("V"));
  EXPECT_TRUE(d.PurgeBuffers(true, true));
}

TEST(SerialDriver, ClosedPortIsHarmless) {
  TSerialPortDriver d;
  quint8 b = 0;
  char buf[4] = {};
  EXPECT_FALSE(d.WriteByte('V'));
  EXPECT_EQ(d.WriteData(buf, 4), 0u);
  EXPECT_FALSE(d.ReadByte(b));
  EXPECT_EQ(d.ReadData(buf, 4), 0u);
  EXPECT_FALSE(d.PurgeBuffers(true, true));
  EXPECT_EQ(d.InputCount(), 0u);
  EXPECT_EQ(d.OutputFreeSpace(), 0u);
  EXPECT_EQ(d.LineStatus(), 0u);
  d.ClosePort();
  EXPECT_FALSE(d.IsOpen());
}

TEST(SerialDriver, TimeOutsSurviveTheClockWrapping) {
  auto backend = std::make_unique<FakeBackend>();
  FakeBackend* clock = backend.get();
  TSerialPortDriver d(std::move(backend));
  ASSERT_TRUE(d.OpenPort());
  quint8 b = 0;
  const quint32 before = clock->now;
  EXPECT_FALSE(d.ReadByte(b));
  // The read gave up once InputTimeout ticks had passed, across the wrap.
  const quint32 ticks = clock->now - before;
  EXPECT_GT(ticks, 200u);
  EXPECT_LT(ticks, 220u);

  const quint32 before2 = clock->now;
  EXPECT_FALSE(d.WriteByte('x'));
  EXPECT_GT(quint32(clock->now - before2), 500u);
  EXPECT_LT(quint32(clock->now - before2), 1100u);
}
