#include "marketdata/StandardColors.h"
