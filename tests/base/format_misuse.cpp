// Compiled by the format_attribute tests only: with WELL_FORMED the call
// matches its format and compiles; without it gcc must reject the call, as
// the text formatter carries the printf attribute.
#include "base/formatted_text.h"

#ifdef WELL_FORMED
std::string call() { return base::formatText("%d of %s", 3, "three"); }
#else
std::string call() { return base::formatText("%d of %s", "three", 3); }
#endif
