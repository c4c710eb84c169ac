// The parameter descriptors of the graphic effects of characters and of the
// screen effects: for every effect kind five parameters, each with its label,
// its range and the value a new definition gets. The editor shows them; the
// runtime reads the defaults when it upgrades old database files (files older
// than 511 lack the wave and circle roughness parameters).
#pragma once

#include <cstdint>
#include <string>

struct EffectParamEntry {
  std::string label;  // CP932; empty for a parameter the kind does not have
  int16_t minimum = 0;
  int16_t maximum = 0;
  int16_t defaultValue = 0;
};

// Kinds 1..16 of the graphic effects, kinds 1..13 of the screen effects;
// parameters 1..5 (1 is always the running time in tenths of a second).
inline constexpr int kCharaEffectKinds = 16;
inline constexpr int kScrEffectKinds = 13;
inline constexpr int kEffectParams = 5;

// Descriptor of (kind, parameter). Kind 0 (none), kinds beyond the table and
// parameters outside 1..5 give an empty descriptor whose default is 0.
// Built on first use; safe from static initialisers and any thread.
const EffectParamEntry& CharaEffectParamTable(int kind, int param);
const EffectParamEntry& ScrEffectParamTable(int kind, int param);
