#include "stop_signals.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>

#include "platform/stop_signals.h"
#include "tool.h"

namespace tool {

namespace {

bool g_endsAtOnce = false;

const char* const kStepNames[] = {"write", "move", "filled"};

// The step that PELMORA_TEST_HOLD_TOOL names: its kind and number (0:
// none).
struct HeldStep {
  BuildStep kind = BuildStep::kWrite;
  long number = 0;
};
const HeldStep& StepToHold() {
  static const HeldStep held = [] {
    HeldStep step;
    const char* setting = std::getenv("PELMORA_TEST_HOLD_TOOL");
    const std::string text = setting != nullptr ? setting : "";
    const size_t space = text.find(' ');
    constexpr NumberRange kSteps{1, 2147483647.0, true, "a step from 1"};
    double number = 0;
    if (space == std::string::npos || ReadNumberWord(text.substr(space + 1), kSteps, number) != NumberWord::kNumber)
      return step;
    for (BuildStep kind : {BuildStep::kWrite, BuildStep::kMove, BuildStep::kFilled})
      if (text.compare(0, space, kStepNames[static_cast<int>(kind)]) == 0) step = {kind, static_cast<long>(number)};
    return step;
  }();
  return held;
}

void HoldForTest(const std::string& command, BuildStep kind, long number) {
  if (kind == BuildStep::kFilled)
    std::fprintf(stderr, "%s: held with file %ld filled\n", command.c_str(), number);
  else
    std::fprintf(stderr, "%s: held before %s %ld\n", command.c_str(), kStepNames[static_cast<int>(kind)], number);
  std::fflush(stderr);
  // A test that never sends its signal (it failed) still sees the run end.
  // A command that ends at once on the signal ends here.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (plat::CaughtStopSignal() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

void EndOnStopSignals(const std::string& command, std::function<void()> tidy) {
  plat::HoldStopSignals();
  g_endsAtOnce = true;
  plat::EndOnStopSignals([command, tidy = std::move(tidy)](const char* signal) {
    if (tidy) tidy();
    return command + ": stopped by " + signal + "; no file it had not finished is kept\n";
  });
}

bool EndsOnStopSignals() { return g_endsAtOnce; }

int StopSignal() { return plat::CaughtStopSignal(); }

std::string StopReason() {
  const int signal = plat::CaughtStopSignal();
  return signal == 0 ? std::string() : "stopped by " + plat::StopSignalName(signal);
}

bool GoOn(BuildStep step, const std::string& command) {
  static long counts[std::size(kStepNames)] = {};
  const long number = ++counts[static_cast<int>(step)];
  const HeldStep& held = StepToHold();
  if (held.kind == step && held.number == number) HoldForTest(command, step, number);
  return step == BuildStep::kFilled || plat::CaughtStopSignal() == 0;
}

}  // namespace tool
