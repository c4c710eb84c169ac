// The code language over arbitrary statement bytes, against a small game of
// every object and value: no statement may crash, hang, overflow or leave a
// value outside the bounds of its assignment.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "flow/expr.h"

namespace {

class cFuzzHost final : public cExprHost {
 public:
  bool HasObject(ExprObject object) override { return object != ExprObject::kTarget3; }
  int32_t ReadMember(ExprObject object, ExprMember member) override {
    return m_Members[static_cast<int>(object)][static_cast<int>(member)];
  }
  void WriteMember(ExprObject object, ExprMember member, int32_t value) override {
    const cExprMemberInfo& info = ExprMemberInfo(member);
    if (value < info.minimum && !(member == ExprMember::kHp || member == ExprMember::kSp)) __builtin_trap();
    if (value > info.maximum) __builtin_trap();
    m_Members[static_cast<int>(object)][static_cast<int>(member)] = value;
  }
  bool ReadVariable(char kind, int32_t index, int32_t& value) override {
    if (index < 0 || index >= 16) return false;
    value = (kind == 'C' ? m_Common : m_Stage)[index];
    return true;
  }
  bool WriteVariable(char kind, int32_t index, int32_t value) override {
    if (index < 0 || index >= 16) __builtin_trap();  // never written without a read
    if (value < -999999 || value > 999999) __builtin_trap();
    (kind == 'C' ? m_Common : m_Stage)[index] = value;
    return true;
  }
  bool ReadSystem(ExprSystem which, cExprCell& cell) override {
    if (which == ExprSystem::kTime) return false;
    cell.value = m_System[static_cast<int>(which)];
    return true;
  }
  void WriteSystem(ExprSystem which, int32_t value) override {
    if (value < -480 || value > 999999) __builtin_trap();
    m_System[static_cast<int>(which)] = value;
  }

 private:
  int32_t m_Members[7][kExprMemberCount] = {};
  int32_t m_Common[16] = {};
  int32_t m_Stage[16] = {};
  int32_t m_System[kExprSystemCount] = {};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cFuzzHost host;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  cExprResult result = RunCode(text, host);
  if (result.ok != (result.error.kind == ExprErrorKind::kNone)) __builtin_trap();
  if (!result.ok && result.error.text.empty()) __builtin_trap();
  cExprName name;
  if (ParseExprName(text, name) && FormatExprName(name).empty()) __builtin_trap();
  return 0;
}
