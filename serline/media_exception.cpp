#include "serline/media_exception.h"

// The class is header-only; this unit anchors its vtable and type information
// in the library so that catch clauses match across library boundaries.
