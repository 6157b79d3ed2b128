// Slots, records and forwarding functions of the dispatched entries, all
// generated from the dispatch list, and the level selection that fills the
// slots.
#include <cstring>

#include "platform/report/message_report.h"
#include "primitives/core/dispatch_internal.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/primitives.h"

namespace {

// Slot numbers must follow the list's order and stay inside the table.
#define VP_SLOT_NUMBER(slot, result, name, params, args) slot,
constexpr int kSlotNumbers[] = {VP_DISPATCH_ENTRIES(VP_SLOT_NUMBER)};
#undef VP_SLOT_NUMBER

constexpr bool slotNumbersIncrease() {
    int previous = -1;
    for (int slot : kSlotNumbers) {
        if (slot <= previous || slot > 47) return false;
        previous = slot;
    }
    return true;
}
static_assert(slotNumbersIncrease(), "dispatch list: slot numbers must increase and lie in 0..47");

}  // namespace

// The slots: one function pointer of the entry's own type each, holding the
// px variant from load on, so that a call before the selection runs plain code.
namespace vp_slot {
#define VP_DEFINE_SLOT(slot, result, name, params, args) result(*name) params = &::name##_px;
VP_DISPATCH_ENTRIES(VP_DEFINE_SLOT)
#undef VP_DEFINE_SLOT
}  // namespace vp_slot

// Forwarding functions: one indirect call through the slot, arguments passed on untouched.
#define VP_DEFINE_FORWARDER(slot, result, name, params, args) \
    result name params { return vp_slot::name args; }
VP_DISPATCH_ENTRIES(VP_DEFINE_FORWARDER)
#undef VP_DEFINE_FORWARDER

#define VP_RECORD(slot, result, name, params, args)                                    \
    {static_cast<void*>(&vp_slot::name), reinterpret_cast<VpAnyFunction>(&::name##_px), \
     reinterpret_cast<VpAnyFunction>(&::name##_a6),                                    \
     reinterpret_cast<VpAnyFunction>(&::name##_w7),                                    \
     reinterpret_cast<VpAnyFunction>(&::name##_t7)},
const DispatchRecord DispatchTable[] = {VP_DISPATCH_ENTRIES(VP_RECORD)};
#undef VP_RECORD

const int DispatchEntryCount = static_cast<int>(sizeof DispatchTable / sizeof DispatchTable[0]);

const int LevelPreferenceTable[4][5] = {
    {0, 4, 0, 0, 0},
    {1, 0, 4, 0, 0},
    {2, 1, 0, 4, 0},
    {3, 2, 1, 0, 4},
};

int SelectedVpLevel = 0;

const char* const kLevelSelectionFailureText =
    " No VP matching to examined CPU was found during the Waterfall procedure";
const char* const kLevelSelectionFailureCaption = "Set VP library error";

VpAnyFunction DispatchVariant(const DispatchRecord& record, VpLevel level) {
    switch (level) {
        case vpLevelPx: return record.px;
        case vpLevelA6: return record.a6;
        case vpLevelW7: return record.w7;
        case vpLevelT7: return record.t7;
        default: return nullptr;
    }
}

VpAnyFunction DispatchSlotContent(const DispatchRecord& record) {
    VpAnyFunction content;
    std::memcpy(&content, record.slot, sizeof content);
    return content;
}

namespace {

// The slot has the entry's own function type; all function pointers share one
// representation, so the bytes are the pointer.
void writeSlot(const DispatchRecord& record, VpAnyFunction variant) {
    std::memcpy(record.slot, &variant, sizeof variant);
}

}  // namespace

int FillDispatchSlotsOver(const DispatchRecord* table, int count, VpLevel level) {
    for (int i = 0; i < count; ++i) {
        const VpAnyFunction variant = DispatchVariant(table[i], level);
        if (!variant) {
            // Records of one level (FFT setup records, kernel tables) are read
            // only by that level's code, so a half-written column must not stay:
            // every slot goes back to its px variant.
            for (int k = 0; k < count; ++k)
                if (table[k].px) writeSlot(table[k], table[k].px);
            return 0;
        }
        writeSlot(table[i], variant);
    }
    return 1;
}

int SelectVpLevelOver(const DispatchRecord* table, int count) {
    const VpLevel level = CpuTypeToLevel();
    if (count > 0 && level >= 0 && level < 4) {
        for (const int candidate : LevelPreferenceTable[level]) {
            if (candidate >= 4) break;
            if (FillDispatchSlotsOver(table, count, candidate)) {
                SelectedVpLevel = candidate;
                return 1;
            }
        }
    }
    char text[256];
    std::strncpy(text, kLevelSelectionFailureText, sizeof text - 1);
    text[sizeof text - 1] = '\0';
    report::showError(text, kLevelSelectionFailureCaption);
    return 0;
}

VpLevel CpuTypeToLevel() {
    switch (vpCoreGetCpuType()) {
        case vpCpuFamily6SSE: return vpLevelA6;
        case vpCpuFamily15SSE2:
        case vpCpuFamily15HT: return vpLevelW7;
        case vpCpuFamily15SSE3: return vpLevelT7;
        default: return vpLevelPx;
    }
}

int FillDispatchSlots(VpLevel level) { return FillDispatchSlotsOver(DispatchTable, DispatchEntryCount, level); }

int SelectVpLevel() { return SelectVpLevelOver(DispatchTable, DispatchEntryCount); }
