// The level selection over any table of records, for tests that need a table
// with missing variants or slots of their own. The program uses SelectVpLevel
// and FillDispatchSlots, which work on DispatchTable.
#pragma once

#include "primitives/core/dispatch.h"

int FillDispatchSlotsOver(const DispatchRecord* table, int count, VpLevel level);
int SelectVpLevelOver(const DispatchRecord* table, int count);

// Reads the function a record's slot holds now.
VpAnyFunction DispatchSlotContent(const DispatchRecord& record);

// The variant of a record in column `level`; null outside 0..3.
VpAnyFunction DispatchVariant(const DispatchRecord& record, VpLevel level);

// The failure message of the level selection and its caption.
extern const char* const kLevelSelectionFailureText;
extern const char* const kLevelSelectionFailureCaption;
