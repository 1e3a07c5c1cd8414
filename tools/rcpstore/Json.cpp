#include "Json.h"

#include <cstdio>

#include "LibQVBRcpEpa/JsonText.h"

namespace rcpstore::cli {

Json JsonText(const std::string& text) { return Json(JsonEscaped(text)); }

std::string JsonBytes(const std::string& jsonText) { return JsonUnescaped(jsonText); }

int PrintJson(const Json& value) {
  std::printf("%s\n", value.dump().c_str());
  return 0;
}

}  // namespace rcpstore::cli
