// The times a reader of the audit trail gives, turned into the trail's own
// form (UTC, "2026-12-07T01:41:00Z"), whose texts compare as the times do;
// and the trail's times shown back in local time.
#include <cctype>
#include <cstring>
#include <ctime>
#include <sstream>

#include "LibQVBRcpEpa/Failure.h"
#include "LibQVBRcpEpa/Printable.h"
#include "LibQVBRcpEpa/Station.h"
#include "platform/Win32Types.h"

namespace rcpstore {

namespace {

constexpr char kForms[] =
    "a time such as 2026-12-07 02:41 or 2026-12-07 (local), 2026-12-07T01:41:00Z (UTC), today, yesterday "
    "or 30 minutes ago (also hours, days, weeks)";

// The text against a form in which '0' stands for a digit.
bool Fits(const std::string& text, const char* form) {
  if (text.size() != std::strlen(form)) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (form[i] == '0' ? !digit : text[i] != form[i]) return false;
  }
  return true;
}

int Field(const std::string& text, size_t at, size_t length) {
  return at + length <= text.size() ? std::stoi(text.substr(at, length)) : 0;
}

// "YYYY-MM-DD", then optionally the separator and "HH", ":MM", ":SS"; false
// when the text is no such time or names none (a 13th month, a 25th hour).
bool ClockOf(const std::string& text, char separator, std::tm* clock) {
  std::string form = std::string("0000-00-00") + separator + "00:00:00";
  size_t n = text.size();
  if ((n != 10 && n != 13 && n != 16 && n != 19) || !Fits(text, form.substr(0, n).c_str())) return false;
  *clock = {};
  clock->tm_year = Field(text, 0, 4) - 1900;
  clock->tm_mon = Field(text, 5, 2) - 1;
  clock->tm_mday = Field(text, 8, 2);
  clock->tm_hour = Field(text, 11, 2);
  clock->tm_min = Field(text, 14, 2);
  clock->tm_sec = Field(text, 17, 2);
  clock->tm_isdst = -1;
  std::tm day = *clock;
  std::time_t normal = timegm(&day);  // rolls a 31st of a 30-day month over
  return normal != -1 && day.tm_mday == clock->tm_mday && day.tm_mon == clock->tm_mon && clock->tm_hour < 24 &&
         clock->tm_min < 60 && clock->tm_sec < 60;
}

// The start of the local day `back` days before the one now lies in.
std::time_t LocalMidnight(std::time_t now, int back) {
  std::tm clock{};
  localtime_r(&now, &clock);
  clock.tm_hour = clock.tm_min = clock.tm_sec = 0;
  clock.tm_mday -= back;
  clock.tm_isdst = -1;
  return std::mktime(&clock);
}

// "N minutes ago" and the like, singular or plural; -1 when it is none.
std::time_t Ago(const std::string& text, std::time_t now) {
  static const std::pair<const char*, long> kUnits[] = {
      {"second", 1}, {"minute", 60}, {"hour", 3600}, {"day", 86400}, {"week", 7 * 86400}};
  std::istringstream words(text);
  std::string count, unit, ago, more;
  words >> count >> unit >> ago;
  if (!words || (words >> more) || ago != "ago" || count.size() > 6 ||
      !Fits(count, std::string(count.size(), '0').c_str())) {
    return -1;
  }
  if (unit.size() > 1 && unit.back() == 's') unit.pop_back();
  for (const auto& [name, seconds] : kUnits) {
    if (unit == name) return now - std::stol(count) * seconds;
  }
  return -1;
}

// The moment the text names, or -1.
std::time_t MomentOf(const std::string& text, std::time_t now) {
  if (text == "today") return LocalMidnight(now, 0);
  if (text == "yesterday") return LocalMidnight(now, 1);
  std::tm clock{};
  if (text.size() > 10 && text[10] == 'T') {
    std::string utc = text.back() == 'Z' ? text.substr(0, text.size() - 1) : text;
    return ClockOf(utc, 'T', &clock) ? timegm(&clock) : -1;
  }
  if (ClockOf(text, ' ', &clock)) return std::mktime(&clock);
  return Ago(text, now);
}

}  // namespace

std::string TrailTime(const std::string& text, std::time_t now) {
  std::time_t moment = MomentOf(text, now);
  std::tm utc{};
  char out[32] = {};
  if (moment == -1 || gmtime_r(&moment, &utc) == nullptr ||
      std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
    Fail(std::string(kForms) + " is expected, not " + Printable(text), ERROR_INVALID_PARAMETER);
  }
  return out;
}

std::string TrailTimeProblem(const std::string& text) {
  try {
    TrailTime(text, std::time(nullptr));
    return "";
  } catch (const Failure& failure) {
    return failure.cause;
  }
}

std::string LocalTime(const std::string& trailTime) {
  std::tm clock{};
  if (trailTime.size() != 20 || trailTime.back() != 'Z' || !ClockOf(trailTime.substr(0, 19), 'T', &clock)) {
    return trailTime;
  }
  std::time_t moment = timegm(&clock);
  std::tm local{};
  char out[32] = {};
  localtime_r(&moment, &local);
  return std::strftime(out, sizeof out, "%Y-%m-%d %H:%M:%S", &local) != 0 ? out : trailTime;
}

}  // namespace rcpstore
