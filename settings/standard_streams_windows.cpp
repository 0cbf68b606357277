// Windows: a COM port, the profile and the journal are opened as handles,
// never on the C runtime's stream numbers, so a closed standard stream hands
// nothing of the program's to a file (see standard_streams.h).
#include "settings/standard_streams.h"

bool OpenClosedStandardStreams() { return true; }
