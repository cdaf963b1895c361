#pragma once
// Every named value and alert type the system offers, registered once at start-up in the order they depend
// on each other (a formula looks its parts up by name).

namespace tarnwell {

/// Registers all standard factories. Start-up, before anything looks a name up; safe to call again.
void RegisterStandardFactories();

}  // namespace tarnwell
