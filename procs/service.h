// Bringing a service to a state and waiting until it is there: what the
// SERVICE kind does for each of its services, and what the undo of a run
// does to put one back.
#pragma once

#include <cstdint>

#include "os/services.h"

namespace services {

enum class Change { Stop, Start };

enum class Brought {
  Changed,       // it is there now, asked or (on its way there) waited for
  AlreadyThere,  // it was there already: nothing was asked
  NotInstalled,  // no service has that name (its reason kept)
  Failed,        // its reason kept (os/basics.h)
};

// Stops or starts the service `name` and waits until it reports the state
// asked for; a stop also waits until the service's own process has ended,
// unless it shares that process with other services. Gives up after
// `limit` milliseconds, with ERROR_SERVICE_REQUEST_TIMEOUT as the reason; a
// start that ends with the service stopped again fails with the service's
// exit code as the reason (ERROR_SERVICE_NOT_ACTIVE where it gave none).
// `took` receives the milliseconds from the request to the end of the wait.
Brought Bring(os::ServiceManagerHandle manager, const char* name, Change change, uint32_t limit,
              uint32_t& took);

// Whether Bring would ask `name` for the change (it is installed and
// neither there nor on its way there): what a run that can be undone
// records before the change.
bool WouldChange(os::ServiceManagerHandle manager, const char* name, Change change);

}  // namespace services
