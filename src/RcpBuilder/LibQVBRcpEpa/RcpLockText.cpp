#include "RcpLockText.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "LibQVBRcpEpa/Printable.h"
#include "LibQVCCommon/QVCEvent.h"
#include "LibQVCCommon/QVCMessage.h"
#include "QVFramework.h"
#include "platform/Host.h"
#include "platform/Registry.h"

namespace rcplock {

namespace {

constexpr size_t kFieldLimit = 64;  // bytes kept of a user or a label

// At most kFieldLimit bytes, and no line break that would end the field early.
std::string Field(std::string_view text) {
  std::string field(text.substr(0, kFieldLimit));
  for (char& c : field) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return field;
}

// The value of each KEYWORD,value line after the first two.
void ReadKeywordLines(std::string_view text, Holder* holder) {
  size_t at = text.find('\n');
  at = at == std::string_view::npos ? text.size() : text.find('\n', at + 1);
  while (at != std::string_view::npos && at < text.size()) {
    size_t end = text.find('\n', at + 1);
    std::string_view line = text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
    size_t comma = line.find(',');
    std::string_view keyword = line.substr(0, comma);
    std::string_view value = comma == std::string_view::npos ? std::string_view() : line.substr(comma + 1);
    if (keyword == "USER") holder->user = Field(value);
    if (keyword == "NAME") holder->label = Field(value);
    if (keyword == "PROCESS") holder->process = std::strtol(std::string(value.substr(0, 12)).c_str(), nullptr, 10);
    at = end;
  }
}

}  // namespace

Holder Own(const std::string& label) {
  Holder holder{qvplatform::ComputerName(), 0, Field(qvplatform::CallerUserName()), static_cast<long>(getpid()),
                Field(label)};
  uint32_t processId = 0;
  uint16_t number = 0;
  QVCGetInitLogInfo(&processId, &number);
  holder.number = number;
  return holder;
}

std::string TextOf(const Holder& holder) {
  std::string text = holder.station + "\n" + std::to_string(holder.number);
  if (!holder.user.empty()) text += "\nUSER," + holder.user;
  text += "\nPROCESS," + std::to_string(holder.process);
  if (!holder.label.empty()) text += "\nNAME," + holder.label;
  return text;
}

Holder HolderOf(std::string_view given) {
  Holder holder;
  std::string text(given.substr(0, kTextLimit));
  char station[256] = {};
  std::sscanf(text.c_str(), "%255s\n%d", station, &holder.number);
  holder.station = station;
  ReadKeywordLines(text, &holder);
  return holder;
}

std::string Refusal(const std::string& name, const Holder& holder) {
  std::string shownName = rcpstore::Printable(name);
  if (holder.process == 0) {
    return QVFormat(QVCLoadString(QVC_MSG_LOCKED_BY).c_str(), shownName.c_str(),
                    rcpstore::Printable(holder.station).c_str(), holder.number);
  }
  std::string text = shownName + " is being edited";
  if (!holder.user.empty()) text += " by " + rcpstore::Printable(holder.user);
  text += " on station " + rcpstore::Printable(holder.station) + " (process " + std::to_string(holder.process);
  if (!holder.label.empty() && holder.label != name) text += ", \"" + rcpstore::Printable(holder.label) + "\"";
  return text + "), as its lock file claims.";
}

}  // namespace rcplock
