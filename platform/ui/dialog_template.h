// Resources of the UI layer: dialog templates (controls addressed by
// identifier, placed in dialog units), menus and accelerator tables.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ui {

enum class ControlKind {
  Label,        // static text
  GroupBox,
  GrayRect,     // static grey rectangle (also the host of child views)
  Icon,         // static icon (the icon resource in `caption`'s place: iconId)
  PushButton,
  CheckBox,
  RadioButton,
  Edit,
  Slider,
  UpDown,       // arrows that step the number in the control created just before
  ScrollBar,
  Progress,
};

// Style bits of a control template.
enum ControlStyle : unsigned {
  kStyleNone = 0,
  kGroup = 1u << 0,           // starts a group (radio buttons)
  kReadOnly = 1u << 1,        // edit
  kNumber = 1u << 2,          // edit: digits only
  kCentre = 1u << 3,          // edit: centred text
  kAutoHScroll = 1u << 4,     // edit: scrolls horizontally
  kVertical = 1u << 5,        // scroll bar, up-down
  kHorizontal = 1u << 6,      // scroll bar, up-down
  kTicksTop = 1u << 7,        // slider: automatic ticks above
  kNoTicks = 1u << 8,         // slider: no ticks
  kSetBuddyInt = 1u << 9,     // up-down: writes its number into the buddy
  kArrowKeys = 1u << 10,      // up-down: the buddy's Up and Down keys step it
  kDefaultButton = 1u << 11,  // push button: the default button
  kRight = 1u << 12,          // label: right-aligned text
};

struct ControlTemplate {
  int id = 0;  // -1 for labels and group boxes that nobody addresses
  ControlKind kind = ControlKind::Label;
  unsigned style = kStyleNone;
  std::string caption;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  int iconId = 0;                            // Icon controls
};

// A control of the given kind, style and caption at (x, y), w by h dialog units.
inline ControlTemplate MakeControl(int id, ControlKind kind, unsigned style, std::string caption, int x, int y, int w,
                                   int h) {
  ControlTemplate c;
  c.id = id;
  c.kind = kind;
  c.style = style;
  c.caption = std::move(caption);
  c.x = x;
  c.y = y;
  c.width = w;
  c.height = h;
  return c;
}

struct DialogTemplate {
  int id = 0;
  std::string caption;
  std::string fontName;
  int fontPoints = 8;
  int width = 0, height = 0;  // dialog units
  bool minimizeBox = false;
  std::vector<ControlTemplate> controls;
};

struct MenuItemTemplate {
  std::string caption;  // empty: a separator
  int command = 0;
};

struct MenuPopupTemplate {
  std::string caption;
  std::vector<MenuItemTemplate> items;
};

struct MenuTemplate {
  int id = 0;
  std::vector<MenuPopupTemplate> popups;
};

// Modifier bits of an accelerator.
enum AcceleratorModifier : unsigned {
  kModNone = 0,
  kModShift = 1u << 0,
  kModControl = 1u << 1,
  kModAlt = 1u << 2,
};

struct Accelerator {
  int key = 0;  // an upper-case letter or digit ('C'), the key's character
  unsigned modifiers = kModNone;
  int command = 0;
};

struct AcceleratorTable {
  int id = 0;
  std::vector<Accelerator> entries;
};

}  // namespace ui
