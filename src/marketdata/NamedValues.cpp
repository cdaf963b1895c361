#include "marketdata/NamedValues.h"
