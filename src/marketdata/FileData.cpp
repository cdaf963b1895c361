#include "marketdata/FileData.h"
