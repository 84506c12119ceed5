// hygrovan-meter-sim: answers the download protocol on a pseudo-terminal the
// way the meter does: Z with Z, V with its identification, N with the archive
// stream between S and P. Serves until killed.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "device/device_image.h"
#include "platform/file_names.h"
#include "platform/translations.h"

namespace {

struct Record {
  int archive = 0;
  unsigned moisture = 0, minimum = 0, maximum = 0;
  unsigned material = 0, individual = 0, second = 0, minute = 0, hour = 0, day = 1, month = 1, year = 0;
};

struct Options {
  std::string recordsFile;
  std::vector<int> generate;
  unsigned seed = 1;
  int family = 8;
  int type = 3;
  int version[3] = {21, 3, 5};  // as shown: "21.03.05"
  bool silent = false;
  long zAfter = -1;
  bool randomBlocks = false;
  bool pace = false;
  std::string link;
  std::string rawStream;  // answer N with this file's bytes as they are
};

volatile sig_atomic_t g_stop = 0;
void onSignal(int) {
  g_stop = 1;
}

[[noreturn]] void usage(const char* message) {
  std::fprintf(stderr,
               "hygrovan-meter-sim: %s\n"
               "Использование: hygrovan-meter-sim [--records FILE | --generate N1,N2,N3 [--seed S]]\n"
               "       [--family N] [--type N] [--version A.B.C] [--silent] [--z-after N] [--random-blocks]\n"
               "       [--pace] [--raw-stream FILE] [--link PATH]   (подробнее: --help)\n",
               message);
  std::exit(2);
}

long parseNumber(const std::string& text, long lo, long hi, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) {
    std::string m = std::string("неверное значение (") + what + "): " + text;
    usage(m.c_str());
  }
  return v;
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, sep)) parts.push_back(part);
  return parts;
}

std::vector<Record> readRecords(const std::string& path) {
  std::ifstream in(path);
  if (!in) usage(("не удалось прочитать " + path).c_str());
  std::vector<Record> records;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    std::istringstream ls(line);
    std::vector<std::string> f;
    std::string w;
    while (ls >> w) f.push_back(w);
    if (f.empty() || f[0][0] == '#') continue;
    if (f.size() != 12) usage(("строка " + std::to_string(lineNo) + ": нужно двенадцать чисел").c_str());
    Record r;
    r.archive = int(parseNumber(f[0], 0, 2, "архив"));
    r.moisture = unsigned(parseNumber(f[1], 0, 65535, "влажность"));
    r.minimum = unsigned(parseNumber(f[2], 0, 65535, "минимум"));
    r.maximum = unsigned(parseNumber(f[3], 0, 65535, "максимум"));
    unsigned* bytes[] = {&r.material, &r.individual, &r.second, &r.minute, &r.hour, &r.day, &r.month, &r.year};
    for (int i = 0; i < 8; ++i) *bytes[i] = unsigned(parseNumber(f[4 + i], 0, 255, "байтовое поле"));
    records.push_back(r);
  }
  return records;
}

std::vector<Record> generateRecords(const std::vector<int>& counts, unsigned seed) {
  static const int materials[3][2] = {{15, 15}, {13, 14}, {8, 13}};
  std::mt19937 rng(seed);
  auto uniform = [&](int lo, int hi) { return int(std::uniform_int_distribution<int>(lo, hi)(rng)); };
  std::vector<Record> records;
  for (int a = 0; a < 3; ++a) {
    // Oldest first, a few hours apart, from 1 March 2024.
    struct tm t {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 8;
    time_t when = timegm(&t);
    for (int i = 0; i < counts[a]; ++i) {
      when += uniform(60, 6 * 3600);
      struct tm c {};
      gmtime_r(&when, &c);
      Record r;
      r.archive = a;
      r.individual = uniform(0, 4) == 0 ? unsigned(uniform(1, 20)) : 0;
      r.material = unsigned(uniform(0, materials[a][r.individual ? 1 : 0] - 1));
      if (uniform(0, 2) == 0) {
        r.minimum = unsigned(uniform(50, 300));
        r.maximum = r.minimum + unsigned(uniform(0, 80));
        r.moisture = (r.minimum + r.maximum) / 2;
      } else {
        r.moisture = unsigned(uniform(50, 400));
        r.minimum = r.maximum = 0xFFFF;
      }
      r.second = unsigned(c.tm_sec);
      r.minute = unsigned(c.tm_min);
      r.hour = unsigned(c.tm_hour);
      r.day = unsigned(c.tm_mday);
      r.month = unsigned(c.tm_mon + 1);
      r.year = unsigned(c.tm_year + 1900 - 2000);
      records.push_back(r);
    }
  }
  return records;
}

void appendByte(std::string& s, unsigned v) {
  char c[2];
  hv::encodeByte(std::uint8_t(v), c);
  s.append(c, 2);
}

void appendWord(std::string& s, unsigned v) {
  char c[4];
  hv::encodeWord(std::uint16_t(v), c);
  s.append(c, 4);
}

std::string archiveStream(const std::vector<Record>& records) {
  std::string s = "S";
  for (int a = 0; a < 3; ++a) {
    unsigned n = 0;
    for (const auto& r : records) n += r.archive == a;
    appendWord(s, n);
    for (const auto& r : records) {
      if (r.archive != a) continue;
      appendWord(s, r.moisture);
      appendWord(s, r.minimum);
      appendWord(s, r.maximum);
      for (unsigned b : {r.material, r.individual, r.second, r.minute, r.hour, r.day, r.month, r.year})
        appendByte(s, b);
    }
  }
  s += 'P';
  return s;
}

std::string identification(const Options& o) {
  std::string s;
  appendByte(s, unsigned(o.family));
  s += char(0x30 + o.type);
  appendByte(s, unsigned(o.version[2]));
  appendByte(s, unsigned(o.version[1]));
  appendByte(s, unsigned(o.version[0]));
  appendWord(s, 0);
  return s;
}

double nowSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void makeLink(const std::string& target, const std::string& link) {
  // A fresh link under a temporary name, then renamed over the old one.
  const std::string tmp = link + ".tmp" + std::to_string(getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
    std::fprintf(stderr, "hygrovan-meter-sim: не удалось создать ссылку %s: %s\n", link.c_str(), std::strerror(errno));
    ::unlink(tmp.c_str());
    std::exit(1);
  }
}

Options parseOptions(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  hv::installQtTranslations();  // the parser's own headings and errors in Russian too
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral(
      "Имитирует прибор Hygrovan-RX3 на псевдотерминале: на Z отвечает Z, на V — идентификацией, на N — потоком "
      "архивов. Выводит путь терминала и работает, пока его не завершат (SIGTERM, SIGINT, SIGHUP)."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Показать эту справку."));
  const auto valueOption = [&](const char* name, const char* value, const char* description) {
    const QCommandLineOption o(QString::fromLatin1(name), QString::fromUtf8(description), QString::fromLatin1(value));
    p.addOption(o);
    return o;
  };
  const auto flag = [&](const char* name, const char* description) {
    const QCommandLineOption o(QString::fromLatin1(name), QString::fromUtf8(description));
    p.addOption(o);
    return o;
  };
  p.addOption(help);
  const auto records = valueOption("records", "FILE",
                                   "Архивы: по записи в строке, двенадцать чисел (архив, влажность, минимум, "
                                   "максимум, материал, индивидуальная градуировка, секунда, минута, час, день, "
                                   "месяц, год); строка с # — примечание.");
  const auto generate = valueOption("generate", "N1,N2,N3", "Придуманные архивы с этим числом записей.");
  const auto seed = valueOption("seed", "S", "Начальное число случайных значений --generate и --random-blocks (1).");
  const auto family = valueOption("family", "N", "Код семейства в идентификации (8).");
  const auto type = valueOption("type", "N", "Тип прибора в идентификации (3).");
  const auto version = valueOption("version", "A.B.C", "Версия программы прибора в идентификации (21.03.05).");
  const auto silent = flag("silent", "Ничего не отвечать.");
  const auto zAfter = valueOption("z-after", "N", "Перезапуститься (передать Z) после N знаков потока.");
  const auto randomBlocks = flag("random-blocks", "Передавать блоками случайной длины в случайные моменты.");
  const auto pace = flag("pace", "Передавать не быстрее линии: 9600 бод, 11 бит на знак.");
  const auto rawStream = valueOption("raw-stream", "FILE", "Отвечать на N байтами этого файла как есть.");
  const auto link = valueOption("link", "PATH", "На время работы сделать PATH ссылкой на терминал.");
  // Lossless on file names that are not UTF-8.
  if (!p.parse(hv::commandLineArguments(argc, argv))) usage(p.errorText().toLocal8Bit().constData());
  if (p.isSet(help)) {
    std::fputs(p.helpText().toLocal8Bit().constData(), stdout);
    std::exit(0);
  }
  if (!p.positionalArguments().isEmpty())
    usage(("лишний аргумент " + p.positionalArguments()[0].toStdString()).c_str());

  Options o;
  const auto text = [&](const QCommandLineOption& option) { return p.value(option).toStdString(); };
  const auto path = [&](const QCommandLineOption& option) { return hv::localFileName(p.value(option)).toStdString(); };
  o.recordsFile = path(records);
  if (p.isSet(generate)) {
    const auto parts = split(text(generate), ',');
    if (parts.size() != 3) usage("--generate: нужно N1,N2,N3");
    for (const auto& part : parts) o.generate.push_back(int(parseNumber(part, 0, 65535, "число записей")));
    if (6 + 14L * (o.generate[0] + o.generate[1] + o.generate[2]) > hv::kMaxDecodedImageLength)
      std::fprintf(stderr, "hygrovan-meter-sim: предупреждение: записей больше, чем вмещает прибор\n");
  }
  if (p.isSet(seed)) o.seed = unsigned(parseNumber(text(seed), 0, 0xFFFFFFFL, "--seed"));
  if (p.isSet(family)) o.family = int(parseNumber(text(family), 0, 255, "--family"));
  if (p.isSet(type)) o.type = int(parseNumber(text(type), 0, 207, "--type"));
  if (p.isSet(version)) {
    const auto parts = split(text(version), '.');
    if (parts.size() != 3) usage("--version: нужно A.B.C");
    for (int k = 0; k < 3; ++k) o.version[k] = int(parseNumber(parts[k], 0, 255, "--version"));
  }
  o.silent = p.isSet(silent);
  if (p.isSet(zAfter)) o.zAfter = parseNumber(text(zAfter), 0, 100000000L, "--z-after");
  o.randomBlocks = p.isSet(randomBlocks);
  o.pace = p.isSet(pace);
  o.link = path(link);
  o.rawStream = path(rawStream);
  if (!o.recordsFile.empty() && !o.generate.empty()) usage("--records и --generate не указываются вместе");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parseOptions(argc, argv);
  std::vector<Record> records;
  if (!o.recordsFile.empty())
    records = readRecords(o.recordsFile);
  else if (!o.generate.empty())
    records = generateRecords(o.generate, o.seed);
  std::string stream = archiveStream(records);
  if (!o.rawStream.empty()) {
    std::ifstream in(o.rawStream, std::ios::binary);
    if (!in) usage(("не удалось прочитать " + o.rawStream).c_str());
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string ident = identification(o);

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("hygrovan-meter-sim: не удалось открыть псевдотерминал");
    return 1;
  }
  const std::string slavePath = ptsname(master);
  // Our own slave descriptor keeps the line up while the program closes and
  // reopens its end: without it the master reads EIO.
  const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (slave < 0) {
    std::perror("hygrovan-meter-sim: не удалось открыть второй конец псевдотерминала");
    return 1;
  }
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  tcsetattr(slave, TCSANOW, &t);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  if (!o.link.empty()) makeLink(slavePath, o.link);
  std::printf("%s\n", slavePath.c_str());
  std::fflush(stdout);

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::mt19937 rng(o.seed ^ 0x5A5A5A5Au);
  std::string pending;    // characters still to send
  size_t streamSent = 0;  // stream characters sent since the last N
  bool sendingStream = false;
  bool zDone = false;
  double paceStart = 0;
  size_t pacedSent = 0;
  double nextBlockAt = 0;
  constexpr double kCharSeconds = 11.0 / 9600.0;

  while (!g_stop) {
    int timeout = -1;
    if (!pending.empty()) timeout = (o.pace || o.randomBlocks) ? 1 : 20;
    pollfd pfd{master, short(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
    const int r = ::poll(&pfd, 1, timeout);
    if (r < 0 && errno != EINTR) break;

    if (pfd.revents & POLLIN) {
      char in[256];
      const ssize_t n = ::read(master, in, sizeof in);
      for (ssize_t i = 0; i < n; ++i) {
        if (o.silent) continue;
        switch (in[i]) {
          case 'Z':
            pending += 'Z';
            break;
          case 'V':
            // A new identification request ends whatever stream was still going.
            if (sendingStream) pending.clear();
            sendingStream = false;
            pending += ident;
            break;
          case 'N':
            // A fresh request replaces what is left of an earlier stream.
            if (sendingStream) pending.clear();
            pending += stream;
            sendingStream = true;
            streamSent = 0;
            paceStart = nowSeconds();
            pacedSent = 0;
            break;
          default:
            break;
        }
      }
    }

    if (pending.empty()) continue;
    size_t budget = pending.size();
    if (o.pace) {
      if (paceStart == 0) {
        paceStart = nowSeconds();
        pacedSent = 0;
      }
      const size_t allowed = size_t((nowSeconds() - paceStart) / kCharSeconds) + 1;
      budget = allowed > pacedSent ? allowed - pacedSent : 0;
    }
    if (o.randomBlocks) {
      if (nowSeconds() < nextBlockAt) continue;
      budget = std::min<size_t>(budget, size_t(std::uniform_int_distribution<int>(1, 300)(rng)));
      nextBlockAt = nowSeconds() + std::uniform_int_distribution<int>(0, 15)(rng) / 1000.0;
    }
    if (sendingStream && o.zAfter >= 0 && !zDone) {
      // The meter restarts after this many stream characters: a Z, and the rest is never sent.
      const size_t left = size_t(o.zAfter) > streamSent ? size_t(o.zAfter) - streamSent : 0;
      if (left == 0) {
        pending = "Z";
        sendingStream = false;
        zDone = true;
        budget = 1;
      } else {
        budget = std::min(budget, left);
      }
    }
    budget = std::min(budget, pending.size());
    if (budget == 0) continue;
    const ssize_t w = ::write(master, pending.data(), budget);
    if (w > 0) {
      if (sendingStream) {
        streamSent += size_t(w);
        if (streamSent >= stream.size()) sendingStream = false;
      }
      pacedSent += size_t(w);
      pending.erase(0, size_t(w));
      if (pending.empty()) paceStart = 0;
    }
  }
  if (!o.link.empty()) {
    char target[4096];
    const ssize_t n = ::readlink(o.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)) == slavePath) ::unlink(o.link.c_str());
  }
  ::close(slave);
  ::close(master);
  return 0;
}
