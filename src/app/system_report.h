// The system report: what the machine is, written into the report log at
// start (WriteSystemReport) and after the display is set up
// (WriteDisplayReport).
//
// This runtime reports itself to the game as system version 10.0, so every
// version decision takes its modern branch (the display set-up's choice of
// vertical sync is made for it); the report's lines tell the real Linux
// system.
#pragma once

#include <cstdint>
#include <string>

// The machine part of the report (main thread, at start). 1, or 0 when the
// report log cannot be opened (then nothing is written).
int WriteSystemReport();
// The display part: the mode and depth, the (emulated) video memory and
// refresh rate in DirectDraw mode, the device part in Direct3D mode. 1 or 0.
int WriteDisplayReport();
// The Direct3D part of the display report; does nothing without a device.
void WriteDirectXReport();

// Name of the system (CP932) and the version numbers the program goes by
// (10 and 0). Any argument may be null.
void GetOSName(std::string* name, int* major, int* minor);

// Free bytes on the file system of `root` (the working folder when null),
// at most 0x7fffffff: the report's "HD Free" counts in a 31-bit value.
uint32_t GetDiskFreeSpace(const char* root);
uint32_t CapDiskFreeBytes(uint64_t bytes);

// Lines of the report, also for tests: the signs of the format table.
const char* FormatCheckSign(uint32_t result);
