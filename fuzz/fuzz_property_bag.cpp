// The saved-state text of `--load-state` on arbitrary bytes: parsed into a property bag, which
// must read back from its own text unchanged, then loaded into a control in a headless site and
// painted. What the control saves must load into a fresh control and save as the same text.
// Extents above 10 cm are left out: a window of thousands of pixels a side only slows the runs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "control/lumora_ctrl.h"
#include "platform/ole/headless_site.h"
#include "platform/ole/property_bag.h"

namespace {

using platform::PropertyBag;

bool Oversized(const PropertyBag& bag) {
    for (const char* name : {"_ExtentX", "_ExtentY"}) {
        const auto text = bag.Read(name);
        if (text && std::strtoll(text->c_str(), nullptr, 10) > 10000) return true;
    }
    return false;
}

// What a fresh control saves after loading the bag (and, when asked, painting its window).
std::string LoadAndSave(const PropertyBag& bag, bool paint) {
    control::CLumoraCtrl control;
    platform::HeadlessSite site(control, 64, 48);
    control.InitNew();
    control.Load(bag);
    if (paint) site.Paint();
    return control.Save().ToText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    PropertyBag bag;
    try {
        bag = PropertyBag::Parse(text);
    } catch (const platform::PropertyBagError&) {
        return 0;
    }
    if (PropertyBag::Parse(bag.ToText()).Entries() != bag.Entries()) std::abort();
    if (Oversized(bag)) return 0;

    const std::string saved = LoadAndSave(bag, true);
    if (LoadAndSave(PropertyBag::Parse(saved), false) != saved) std::abort();
    return 0;
}
