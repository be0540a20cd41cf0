// Reading a property of a picture object through its dispatch interface.
#pragma once

#include <cstdint>

#include "platform/ole/variant.h"

namespace control {

// The property as a 32-bit value; 0 when it cannot be read.
int32_t GetPictureProperty(const platform::Dispatch& picture, platform::DISPID id);

}  // namespace control
