// The dispatched entries, written once, in slot order. Everything else about
// an entry is generated from its line: its slot, its dispatch record, its
// forwarding function and the declarations of its level variants.
//
// One line per entry:
//   X(slot, result, name, (parameter list), (argument names))
// The entry's variants are the functions name_px, name_a6, name_w7 and name_t7,
// each with exactly the entry's parameter list and result. A level whose
// variant is not built yet stays null in the record, and the level selection
// walks down to a level that is complete.
//
// The list grows as the entries are built; keep the slot numbers increasing.
#pragma once

#define VP_DISPATCH_ENTRIES(X) \
    /* entries are added here, one line each, in slot order */
