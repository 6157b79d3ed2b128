// Version records of the four processor levels. The variants of
// vpsGetLibVersion only return data, so all four live here.
#include "primitives/core/dispatch_variants.h"

namespace {

const char kVersionText[] = "v4.0";
const char kBuildDate[] = "Oct 16 2003";

const VpLibraryVersion kVersionPx = {4, 0, 19, 77, {'p', 'x', 0, 0}, "vpspxl.lib", kVersionText, kBuildDate};
const VpLibraryVersion kVersionA6 = {4, 0, 19, 77, {'a', '6', 0, 0}, "vpsa6l.lib", kVersionText, kBuildDate};
const VpLibraryVersion kVersionW7 = {4, 0, 19, 77, {'w', '7', 0, 0}, "vpsw7l.lib", kVersionText, kBuildDate};
const VpLibraryVersion kVersionT7 = {4, 0, 19, 77, {'t', '7', 0, 0}, "vpst7l.lib", kVersionText, kBuildDate};

}  // namespace

const VpLibraryVersion* vpsGetLibVersion_px() { return &kVersionPx; }
const VpLibraryVersion* vpsGetLibVersion_a6() { return &kVersionA6; }
const VpLibraryVersion* vpsGetLibVersion_w7() { return &kVersionW7; }
const VpLibraryVersion* vpsGetLibVersion_t7() { return &kVersionT7; }
