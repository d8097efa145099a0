#include "stdblocks/stdblock.h"
