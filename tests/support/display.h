// The display tests' sandbox: a Sandbox, the graphics layer reset, no
// vertical-blank waits, no injected drawing faults, the default device and
// the fast drawing paths; all of it (and the cursor count) put back after.
#pragma once

#include "support/sandbox.h"

class DisplaySandbox : public Sandbox {
 public:
  DisplaySandbox();
  ~DisplaySandbox();

 private:
  int cursorCount_;
};
