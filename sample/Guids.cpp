// The interface identifiers the game asks for, defined once.
#include <initguid.h>

#include <ddraw.h>
