#include "marketdata/Combinators.h"
