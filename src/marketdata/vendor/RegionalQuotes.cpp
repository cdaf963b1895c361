#include "marketdata/vendor/RegionalQuotes.h"
