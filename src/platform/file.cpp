// The parts of the file layer that both implementations share.
#include "platform/file.h"

#include <chrono>
#include <random>

namespace hv {
namespace {

constexpr char kTempPrefix[] = ".hv~";

std::string hex8(std::uint32_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string s(8, '0');
  for (int i = 7; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 0xF];
  return s;
}

// FNV-1a: stable across runs and platforms, which is all the name needs.
std::uint32_t nameHash(const std::string& name) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

std::uint64_t randomBits() {
  thread_local std::mt19937_64 generator = [] {
    std::uint64_t seed = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      seed ^= std::uint64_t(std::random_device{}()) << 32;
    } catch (...) {
      // A clock-seeded name is unique enough: creation retries on a clash.
    }
    return std::mt19937_64(seed);
  }();
  return generator();
}

bool isAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

FileError::FileError(const std::string& message, Reason reason, int code, std::string systemText)
    : std::runtime_error(message), reason_(reason), code_(code), systemText_(std::move(systemText)) {}

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) { other.handle_ = kClosed; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = kClosed;
  }
  return *this;
}

bool File::isOpen() const noexcept { return handle_ != kClosed; }

std::string failureText(const std::string& what, const std::string& path, const std::string& why,
                        const std::string& systemText) {
  std::string text = what + " \"" + path + "\"";
  if (!why.empty()) text += ": " + why;
  text += '.';
  if (!systemText.empty() && systemText != why) text += '\n' + systemText;
  return text;
}

std::string reasonTextOf(const FileError& e, const std::string& path) {
  if (e.reason() == FileError::Reason::InUse) return "файл открыт другой программой";
  if (e.code() != 0) return reasonTextOf(e.code(), path);
  if (e.reason() == FileError::Reason::NotRegular) return "это не файл, а папка или устройство";
  return e.systemText();
}

std::string temporaryNameFor(const std::string& targetName) {
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::uint64_t bits = randomBits();
  std::string suffix(6, '0');
  for (char& c : suffix) {
    c = digits[bits % 36];
    bits /= 36;
  }
  return kTempPrefix + hex8(nameHash(targetName)) + '~' + suffix;
}

bool isTemporaryNameOf(const std::string& name, const std::string& targetName) {
  const std::string ours = kTempPrefix + hex8(nameHash(targetName)) + '~';
  if (name.size() == ours.size() + 6 && name.compare(0, ours.size(), ours) == 0) return true;
  // Earlier versions named their temporaries "." + target + ".XXXXXX".
  const std::string older = '.' + targetName + '.';
  if (name.size() != older.size() + 6 || name.compare(0, older.size(), older) != 0) return false;
  for (size_t i = older.size(); i < name.size(); ++i)
    if (!isAlnum(name[i])) return false;
  return true;
}

}  // namespace hv
