#include "core/safe_containers.h"

#include "core/app.h"
#include "core/errors.h"
#include "core/logs.h"

void ReportBadIndex(char kind, int index, int size, int elementSize) {
  std::string line;
  FormatString(line, kind == 'L' ? "err L[%d] ( %d , %d )" : "err V[%d] ( %d , %d )", index, size,
               elementSize);
  WriteECLogText(line.c_str());
  WriteReportLog("%s", line.c_str());
  plat::PostMessage(g_hMainWnd.load(), plat::WM_CLOSE, 0, 0);
}
