#include "support/trace_lines.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace trace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Value(const std::string& json, const std::string& key) {
  const size_t k = json.find("\"" + key + "\":");
  if (k == std::string::npos) return "";
  const size_t from = k + key.size() + 3;
  if (json[from] != '[' && json[from] != '{') return json.substr(from, json.find_first_of(",}]", from) - from);
  int depth = 0;
  for (size_t i = from; i < json.size(); ++i) {
    depth += (json[i] == '[' || json[i] == '{') - (json[i] == ']' || json[i] == '}');
    if (depth == 0) return json.substr(from, i + 1 - from);
  }
  return "";
}

double Number(const std::string& json, const std::string& key) {
  const std::string v = Value(json, key);
  return v.empty() || v == "null" ? std::nan("") : std::strtod(v.c_str(), nullptr);
}

std::vector<std::string> Objects(const std::string& list) {
  std::vector<std::string> objects;
  int depth = 0;
  size_t open = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == '{' && depth++ == 0) open = i;
    if (list[i] == '}' && --depth == 0) objects.push_back(list.substr(open, i + 1 - open));
  }
  return objects;
}

}  // namespace trace
