// The interface identifiers the tests ask for, defined once.
#include <initguid.h>

#include <ddraw.h>
