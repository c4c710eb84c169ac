// Reading the frame trace that `pelmora-tool play --trace` writes (one JSON
// line a presented frame), by key, as the line is written: the tests that
// play the game through the tool look at its fields with these.
#pragma once

#include <string>
#include <vector>

namespace trace {

// The lines of a trace file's text.
std::vector<std::string> Lines(const std::string& text);
// The value of `key` in a line or object as written (its first match: the
// hero's fields come before the characters'): a number, null, or a whole
// list or object with its brackets; "" when the key is missing.
std::string Value(const std::string& json, const std::string& key);
// The number `key` holds; NaN when it is missing or null.
double Number(const std::string& json, const std::string& key);
// The objects of a list (a Value) as written, each with its braces.
std::vector<std::string> Objects(const std::string& list);

}  // namespace trace
