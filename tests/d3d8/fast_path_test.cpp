#include "raster_fixture.h"
