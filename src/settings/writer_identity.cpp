#include "settings/writer_identity.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <vector>

namespace quillmap {

namespace {

// Names come from other accounts' files: anything that would break a line or a message goes.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text.substr(0, 64)) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
  }
  return out;
}

bool TakeLine(std::string_view* text, std::string_view* line) {
  const size_t end = text->find('\n');
  if (end == std::string_view::npos) return false;
  *line = text->substr(0, end);
  text->remove_prefix(end + 1);
  return true;
}

}  // namespace

WriterIdentity CurrentWriter() {
  WriterIdentity writer;
  passwd entry;
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    writer.user = found->pw_name;
  } else {
    writer.user = "user " + std::to_string(::geteuid());
  }
  char host[256] = {};
  if (::gethostname(host, sizeof(host) - 1) == 0) writer.host = host;
  writer.since = static_cast<int64_t>(std::time(nullptr));
  return writer;
}

std::string SerializeWriter(const WriterIdentity& writer) {
  return Printable(writer.user) + "\n" + Printable(writer.host) + "\n" +
         std::to_string(writer.since) + "\n";
}

bool ParseWriter(std::string_view text, WriterIdentity* writer, std::string_view* rest) {
  std::string_view user, host, since;
  if (!TakeLine(&text, &user) || !TakeLine(&text, &host) || !TakeLine(&text, &since) ||
      since.empty() || since.size() > 18) {
    return false;
  }
  int64_t seconds = 0;
  for (const char c : since) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    seconds = seconds * 10 + (c - '0');
  }
  writer->user = Printable(user);
  writer->host = Printable(host);
  writer->since = seconds;
  if (rest != nullptr) *rest = text;
  return true;
}

std::string DescribeWriter(const WriterIdentity& writer) {
  std::string text = writer.user.empty() ? "another user" : writer.user;
  if (!writer.host.empty()) text += " on " + writer.host;
  return text;
}

std::string WriterTime(const WriterIdentity& writer) {
  const std::time_t since = static_cast<std::time_t>(writer.since);
  std::tm local{};
  char stamp[32];
  if (::localtime_r(&since, &local) != nullptr &&
      std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M", &local) > 0) {
    return stamp;
  }
  return std::to_string(writer.since);
}

}  // namespace quillmap
