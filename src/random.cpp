#include "random.h"

uint32_t g_seed = 0;
