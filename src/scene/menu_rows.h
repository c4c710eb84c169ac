// The rows of a menu: a vector of `cCmd` records (an enabled flag and a
// text). Only the enabled rows are shown, in vector order; a cursor row is
// mapped back to the index of its record, which is the menu's action.
#pragma once

#include <cstdint>

#include "base/safe_containers.h"
#include "data/record.h"

// Rows whose enabled word is not 0.
int CountEnabled(const cSafeVector<cCmd>& rows);
// Index of the enabled row number n (from 0). A number past the enabled
// rows gives 0 after a debug message.
int GetCmdNum(int n, const cSafeVector<cCmd>& rows);
// Left edge of the menu centred on `centreX`: the widest enabled text in
// characters (a double-byte character counts once, line feeds not at all)
// plus one for the cursor, 16 dots each; the centre itself when no enabled
// row has text.
int32_t GetMaxTextWidth(int32_t centreX, const cSafeVector<cCmd>& rows);
