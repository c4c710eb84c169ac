#include "base/safe_containers.h"

#include "base/errors.h"
#include "base/logs.h"
#include "base/program.h"

void ReportBadIndex(char kind, int index, int size, int elementSize) {
  std::string line;
  FormatString(line, kind == 'L' ? "err L[%d] ( %d , %d )" : "err V[%d] ( %d , %d )", index, size,
               elementSize);
  WriteECLogText(line.c_str());
  WriteReportLog("%s", line.c_str());
  RequestQuit();
}
