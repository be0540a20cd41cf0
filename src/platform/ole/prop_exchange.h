// Property exchange: one DoPropExchange routine both saves a control's state into a property
// bag and loads it back, depending on the exchange's direction. No defaults are applied on
// loading: a name missing from the bag, or whose text cannot be read as the member's type,
// leaves the member as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ole/font_holder.h"
#include "platform/ole/picture.h"
#include "platform/ole/property_bag.h"
#include "platform/ole/variant.h"

namespace platform {

class PropExchange {
  public:
    PropExchange(PropertyBag& bag, bool loading) : bag_(bag), loading_(loading) {}

    bool IsLoading() const { return loading_; }
    PropertyBag& Bag() { return bag_; }

    // Saving writes `_Version=major.minor`. Loading reads it; without one the given version is
    // assumed. The version in effect is Version() as (major << 16) | minor.
    bool ExchangeVersion(uint16_t major, uint16_t minor);
    uint32_t Version() const { return version_; }

    // Names whose loaded text was present but unreadable.
    const std::vector<std::string>& Rejected() const { return rejected_; }

    // Raw access for the PX_ functions: saving stores text, loading fetches it (false when absent).
    bool ExchangeText(std::string_view name, std::string& text);
    bool Reject(std::string_view name);

  private:
    PropertyBag& bag_;
    bool loading_;
    uint32_t version_ = 0;
    std::vector<std::string> rejected_;
};

// Each returns true when the value was saved, or loaded into the member.
bool PX_Short(PropExchange& px, std::string_view name, int16_t& value);
bool PX_Long(PropExchange& px, std::string_view name, int32_t& value);
bool PX_Bool(PropExchange& px, std::string_view name, bool& value);
bool PX_Float(PropExchange& px, std::string_view name, float& value);
bool PX_String(PropExchange& px, std::string_view name, std::string& value);
bool PX_Color(PropExchange& px, std::string_view name, OLE_COLOR& value);
// A bitmap picture is saved as base64 of a packed DIB, any other picture as empty text; an
// empty value loads as an empty picture.
bool PX_Picture(PropExchange& px, std::string_view name, PictureHolder& picture);
bool PX_Font(PropExchange& px, std::string_view name, FontHolder& font);

}  // namespace platform
