#include "module/DisplayState.h"

DisplayState displayState;
