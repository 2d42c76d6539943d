#pragma once
// The HTTP status of each kind of result the service's work returns: one place decides
// how an outcome reads on the wire.
#include "service/HistoryService.h"
#include "service/ScheduleService.h"
#include "service/ServiceCommands.h"

namespace ombrix::server {

int HttpStatus(ActionResult result);
int HttpStatus(ScheduleResult result);
int HttpStatus(HistoryResult result);

}  // namespace ombrix::server
