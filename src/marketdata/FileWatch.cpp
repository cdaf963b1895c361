#include "marketdata/FileWatch.h"
