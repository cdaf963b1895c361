#include "marketdata/vendor/VendorFeedNodes.h"
