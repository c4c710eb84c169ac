#include "stop_signals.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>

#include "tool.h"

namespace tool {

namespace {

// Written by the handler alone, read by the build between its steps.
volatile std::sig_atomic_t g_stopSignal = 0;
bool g_watching = false;

extern "C" void NoteStopSignal(int signal) { g_stopSignal = signal; }

constexpr int kWatched[] = {SIGINT, SIGTERM};
using Handler = void (*)(int);
Handler g_before[std::size(kWatched)];

const char* const kStepNames[] = {"write", "move"};

// The step that PELMORA_TEST_HOLD_MAKE_DEMO names: its kind and number (0:
// none).
struct HeldStep {
  BuildStep kind = BuildStep::kWrite;
  long number = 0;
};
const HeldStep& StepToHold() {
  static const HeldStep held = [] {
    HeldStep step;
    const char* setting = std::getenv("PELMORA_TEST_HOLD_MAKE_DEMO");
    const std::string text = setting != nullptr ? setting : "";
    const size_t space = text.find(' ');
    constexpr NumberRange kSteps{1, 2147483647.0, true, "a step from 1"};
    double number = 0;
    if (space == std::string::npos || ReadNumberWord(text.substr(space + 1), kSteps, number) != NumberWord::kNumber)
      return step;
    for (BuildStep kind : {BuildStep::kWrite, BuildStep::kMove})
      if (text.compare(0, space, kStepNames[static_cast<int>(kind)]) == 0) step = {kind, static_cast<long>(number)};
    return step;
  }();
  return held;
}

void HoldForTest(BuildStep kind, long number) {
  std::fprintf(stderr, "make-demo: held before %s %ld\n", kStepNames[static_cast<int>(kind)], number);
  std::fflush(stderr);
  // A test that never sends its signal (it failed) still sees the run end.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (g_stopSignal == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

StopWatch::StopWatch() {
  g_stopSignal = 0;
  for (size_t i = 0; i < std::size(kWatched); ++i) {
    g_before[i] = std::signal(kWatched[i], NoteStopSignal);
    if (g_before[i] == SIG_IGN) std::signal(kWatched[i], SIG_IGN);
  }
  g_watching = true;
}

StopWatch::~StopWatch() {
  g_watching = false;
  for (size_t i = 0; i < std::size(kWatched); ++i)
    if (g_before[i] != SIG_ERR) std::signal(kWatched[i], g_before[i]);
}

int StopSignal() { return g_stopSignal; }

std::string StopReason() {
  switch (g_stopSignal) {
    case 0: return {};
    case SIGINT: return "stopped by SIGINT";
    case SIGTERM: return "stopped by SIGTERM";
    default: return "stopped by signal " + std::to_string(g_stopSignal);
  }
}

bool GoOn(BuildStep step) {
  if (!g_watching) return true;
  static long counts[std::size(kStepNames)] = {};
  const long number = ++counts[static_cast<int>(step)];
  const HeldStep& held = StepToHold();
  if (held.kind == step && held.number == number) HoldForTest(step, number);
  return g_stopSignal == 0;
}

}  // namespace tool
