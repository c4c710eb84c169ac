// Helpers of the definition-record tests: a little-endian byte builder that
// writes bodies from the file layout (independently of our writer), and a
// fixture that gives the project database chosen list sizes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>
#include <string>

#include "base/program.h"
#include "data/database.h"
#include "data/system_data.h"
#include "support/game_data.h"

namespace records_test {

class Bytes {
 public:
  Bytes& u8(int v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& u16(int v) { return raw(static_cast<uint16_t>(v)); }
  Bytes& u32(int64_t v) { return raw(static_cast<uint32_t>(v)); }
  Bytes& f64(double v) { return raw(v); }
  Bytes& zeros(size_t n) {
    s_.append(n, '\0');
    return *this;
  }
  // A string item: the word 1 for "", else length+1, the text and its zero.
  Bytes& str(const std::string& t) {
    if (t.empty()) return u32(1);
    u32(static_cast<int64_t>(t.size()) + 1);
    s_ += t;
    s_.push_back('\0');
    return *this;
  }
  Bytes& add(const std::string& more) {
    s_ += more;
    return *this;
  }
  const std::string& s() const { return s_; }
  size_t size() const { return s_.size(); }

 private:
  template <class T>
  Bytes& raw(T v) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    s_.append(b, sizeof v);
    return *this;
  }
  std::string s_;
};

// A file of `version` holding one record body.
inline std::string File(int version, const Bytes& body) { return Bytes().u32(version).add(body.s()).s(); }

// A field table from the format description: width and first version.
struct F {
  int number, width, since;
};
// A body of the table's fields present at `version` (given values, else 0).
inline Bytes Body(const std::vector<F>& table, int version, const std::map<int, double>& values = {}) {
  Bytes b;
  int n = 0;
  for (const F& f : table) n += version >= f.since;
  b.u32(n);
  for (const F& f : table) {
    if (version < f.since) continue;
    auto it = values.find(f.number);
    double v = it == values.end() ? 0 : it->second;
    if (f.width == 8) b.f64(v);
    else if (f.width == 4) b.u32(static_cast<int64_t>(v));
    else if (f.width == 2) b.u16(static_cast<int>(v));
    else b.u8(static_cast<int>(v));
  }
  return b.u32(0);
}

// Database lists of known sizes for the duration of a test, on the default
// project data (support/game_data.h).
class RecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SystemData.SetNum(kSysKeepTestFlows, 0);
    Sizes(4);
  }
  // Every database list gets n entries (sword types keep their one entry
  // each, value 10 = 1).
  static void Sizes(size_t n) {
    Database.m_AnimeSets.resize(n);
    Database.m_Animes.resize(n);
    Database.m_BmpCharaExcs.resize(n);
    Database.m_SwordTypes.resize(n);
    Database.m_Effects.resize(n);
    Database.m_CharaEffects.resize(n);
    Database.m_ScrEffects.resize(n);
    Database.m_Pictures.resize(n);
    Database.m_Sounds.resize(n);
    Database.m_Bgms.resize(n);
  }

 private:
  ScopedGameData data_;
};

}  // namespace records_test
