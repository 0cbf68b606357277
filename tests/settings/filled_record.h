// A settings record for the settings tests whose every value is known.
#pragma once

#include <cstdint>

#include "settings/led_settings.h"

// A record with every field and every cell set to `value`.
LedSettings Filled(int32_t value);
