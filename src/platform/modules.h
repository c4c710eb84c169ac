// Run-time libraries, in place of loading shared libraries by file name:
// a registry of modules built into the program, each a table of named entry
// points. Looking a module up by file name (case-insensitive, any folder
// part ignored) finds a built-in one; a name with no built-in module fails as
// a missing library would. Tests switch modules off to reach the "library
// missing" paths, and may register modules of their own.
//
// Built in: "Vox.dll" (the Ogg player: "CreateVox"). The MIDI library
// "GuruGuruSMF4.dll" has no built-in module: MIDI plays through the stream
// player.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace plat {

struct Module;
using ModuleHandle = const Module*;

// Null when no module of that name is registered or it is switched off.
ModuleHandle LoadModule(std::string_view fileName);
// Null when the module has no such entry point.
void* GetModuleEntry(ModuleHandle module, std::string_view name);
void FreeModule(ModuleHandle module);

// Tests: switch a module off (and on again), register one of their own.
void SetModuleAvailable(std::string_view fileName, bool available);
void RegisterModule(std::string_view fileName, std::map<std::string, void*> entries);
void UnregisterModule(std::string_view fileName);

}  // namespace plat
