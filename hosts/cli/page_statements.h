// The script host's view of the property pages: a page is opened on the control for each
// statement, as a user opening the property sheet would.
#pragma once

#include <span>

#include "control/lumora_ctrl.h"
#include "platform/ole/variant.h"

namespace cli {

// PageValue(page, field): the field's value after reading (combo index, number, True/False).
platform::Variant PageValue(control::CLumoraCtrl& control, std::span<const platform::Variant> args);
// PageText(page, field): a combo's selected entry.
platform::Variant PageText(control::CLumoraCtrl& control, std::span<const platform::Variant> args);
// ApplyPage page, field, value: enters the value and applies the page.
void ApplyPage(control::CLumoraCtrl& control, std::span<const platform::Variant> args);

}  // namespace cli
