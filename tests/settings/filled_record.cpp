// A settings record whose every value is known.
#include "filled_record.h"

LedSettings Filled(int32_t value) {
  LedSettings settings;
  settings.comPort = settings.numOfChannel = settings.maxSq = value;
  settings.seq.FillAll(value);
  return settings;
}
