// The program's entry: logs, single instance, the game window, start-up, the
// game thread and the main thread's message loop, then shutdown.
#pragma once

// commandLine: a stage file to test-play, or empty. showCommand: how the
// window is shown (5, SW_SHOW, when the editor started the game). Returns the
// exit code: 0 when the program stops before its loop, else WM_QUIT's code.
int WinMain(const char* commandLine, int showCommand);
