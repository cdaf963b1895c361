#pragma once
// Market minutes from print time stamps (TSynchronizedTimer) and bars of N minutes over them (TBarCounter).

namespace tarnwell {}  // namespace tarnwell
