// The interface identifiers the sequence asks for, defined once.
#include <initguid.h>

#include <ddraw.h>
