// Everything a program needs to embed the Lumora picture control: the control, the site
// interface the program implements (or the headless site), pictures, variants, errors, calls by
// name through the dispatch interface, property pages and registration.
#pragma once

#include "lumora/version.h"

#include "control/dispatch.h"
#include "control/lumora_ctrl.h"
#include "platform/ole/control_error.h"
#include "platform/ole/control_site.h"
#include "platform/ole/headless_site.h"
#include "platform/ole/picture.h"
#include "platform/ole/variant.h"
