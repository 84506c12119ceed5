// The Win32 serial backend on a COM port that Wine maps to the meter
// simulator's pseudo-terminal: the meter's line settings, identification and
// a whole archive stream, decoded by the program's own image code. The port
// and the simulator's archive counts come from scripts/wine-tests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "device/device_image.h"
#include "device/serial_backend.h"

namespace {

// Wine's own ntdll exports its version; Windows' does not.
bool underWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Sends one request and collects the answer until `complete` says it is
// whole or nothing new came for quietMs.
template <typename Complete>
std::string ask(hv::SerialBackend& port, char request, Complete complete, std::uint32_t quietMs = 3000) {
  EXPECT_EQ(port.write(&request, 1), 1) << port.lastError().text;
  std::string got;
  std::uint32_t noted = port.tickCount();
  while (!complete(got) && port.tickCount() - noted < quietMs) {
    std::uint32_t in = 0, out = 0;
    if (!port.queueCounts(&in, &out)) {
      ADD_FAILURE() << "ClearCommError: " << port.lastError().text;
      break;
    }
    if (in == 0) continue;
    char buffer[512];
    const std::int64_t n = port.read(buffer, in < sizeof buffer ? in : sizeof buffer);
    if (n < 0) {
      ADD_FAILURE() << "ReadFile: " << port.lastError().text;
      break;
    }
    got.append(buffer, std::size_t(n));
    noted = port.tickCount();
  }
  return got;
}

TEST(Win32SerialPort, IdentifiesTheMeterAndDownloadsItsArchives) {
  const std::string name = environment("HYGROVAN_WINE_PORT");
  int counts[3] = {-1, -1, -1};
  ASSERT_FALSE(name.empty()) << "HYGROVAN_WINE_PORT names the simulator's port (scripts/wine-tests sets it)";
  ASSERT_EQ(std::sscanf(environment("HYGROVAN_WINE_COUNTS").c_str(), "%d,%d,%d", &counts[0], &counts[1], &counts[2]),
            3);

  auto port = hv::createPlatformSerialBackend();
  ASSERT_TRUE(port->open(name)) << port->lastError().text;
  // Opened without sharing: a second opener is told the port is busy.
  auto second = hv::createPlatformSerialBackend();
  if (second->open(name) && underWine()) {
    std::printf("[ SKIPPED  ] second CreateFileA of the port: Wine does not hold serial devices to the "
                "share mode, Windows refuses it (ERROR_ACCESS_DENIED)\n");
    second->close();
  } else {
    EXPECT_FALSE(second->isOpen());
    EXPECT_EQ(second->lastError().fault, hv::SerialFault::Busy)
        << second->lastError().code << " " << second->lastError().text;
  }
  auto missing = hv::createPlatformSerialBackend();
  EXPECT_FALSE(missing->open("\\\\.\\COM199"));
  EXPECT_EQ(missing->lastError().fault, hv::SerialFault::NoSuchPort) << missing->lastError().text;

  // The meter's line: 9600 8N2, DTR off, RTS on, 4 KB queues.
  hv::SerialLineSettings settings;
  settings.stopBits = 2;
  settings.dtr = false;
  settings.xonLimit = settings.xoffLimit = 1024;
  ASSERT_TRUE(port->setLineSettings(settings)) << port->lastError().text;
  ASSERT_TRUE(port->purge(true, true)) << port->lastError().text;
  ASSERT_TRUE(port->setQueueSizes(4096, 4096)) << port->lastError().text;
  port->setTimeouts();
  unsigned lines = 0;
  if (!port->modemStatus(&lines))
    std::printf("[ SKIPPED  ] GetCommModemStatus: Wine reads the modem lines with TIOCMGET, which a "
                "pseudo-terminal refuses (%s)\n",
                port->lastError().text.c_str());

  const std::string reply = ask(*port, 'V', [](const std::string& s) { return s.size() >= 13; });
  ASSERT_EQ(reply.size(), 13u) << "'" << reply << "'";
  EXPECT_EQ(hv::DecodeByte(reply.data(), 0), 8);  // the family
  EXPECT_EQ(reply[2], '3');                        // the simulator's default type
  EXPECT_EQ(hv::DecodeByte(reply.data(), 3), 5);   // version 21.03.05, last part first
  EXPECT_EQ(hv::DecodeByte(reply.data(), 5), 3);
  EXPECT_EQ(hv::DecodeByte(reply.data(), 7), 21);

  const std::string stream = ask(*port, 'N', [](const std::string& s) { return !s.empty() && s.back() == 'P'; });
  ASSERT_GE(stream.size(), 14u);
  ASSERT_EQ(stream.front(), 'S');
  ASSERT_EQ(stream.back(), 'P');
  const int records = counts[0] + counts[1] + counts[2];
  EXPECT_EQ(stream.size(), std::size_t(2 + 12 + 28 * records));
  hv::DeviceImageBytes image{};
  hv::DecodeImage(stream.data(), 1, std::ptrdiff_t(stream.size()) - 1, image);
  for (int kind = 0; kind < 3; ++kind)
    EXPECT_EQ(hv::archiveCount(hv::archiveKindAt(kind), image), counts[kind]) << kind;
  EXPECT_EQ(hv::decodedImageLength(image), 6 + 14 * records);
  // The simulator's records start in March 2024, a few hours apart.
  for (int kind = 0; kind < 3; ++kind) {
    for (int i = 0; i < counts[kind]; ++i) {
      const hv::DeviceRecord r = hv::archiveRecord(hv::archiveKindAt(kind), i, image);
      EXPECT_EQ(r.year(), 24) << kind << "/" << i;
      EXPECT_GE(r.month(), 3);
      EXPECT_LE(r.hour(), 23);
    }
  }
  port->close();
  EXPECT_FALSE(port->isOpen());
  // Closed, the port is free again.
  EXPECT_TRUE(second->open(name)) << second->lastError().text;
}

}  // namespace
