#include "surface/pixels/Blit.h"
