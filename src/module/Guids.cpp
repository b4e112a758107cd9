// The interface identifiers the module compares against are defined here, once.
#include <initguid.h>

#include <ddraw.h>
