// One line per event on standard error, stamped with the local time: the feed's operator log.
#pragma once

#include <string_view>

namespace tarnwell::vendor {

void LogLine(std::string_view text);
/// Drops every later line (a feed run inside another program that reports for itself).
void SetLogQuiet(bool quiet);

}  // namespace tarnwell::vendor
